// The controls of a window model: plain data a view renders, with the handlers a view's events run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltrum::forms {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Geometry&) const = default;
};

struct Font {
    std::string family = "MS Sans Serif";
    double pointSize = 10.0;
    bool bold = false;
};

enum class ControlKind { Window, Label, TextBox, CommandButton, CheckBox, ComboBox, PictureBox };

class Control;

// Where a window's controls report to its view: a property changed, paint this control now, or give it
// the keyboard focus.
struct ControlEvents {
    std::function<void(const Control&)> changed;
    std::function<void(const Control&)> repaintNow;
    std::function<void(const Control&)> focus;
};

class Control {
public:
    Control(ControlKind kind, std::string objectName, int index = 0);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind kind() const { return m_kind; }
    const std::string& objectName() const { return m_objectName; }
    // Position in a control array (1..6 for Image1); 0 for a single control.
    int index() const { return m_index; }

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    const Geometry& geometry() const { return m_geometry; }
    void setGeometry(Geometry geometry);
    void setLeft(int left);
    void setTop(int top);
    void setWidth(int width);
    void setHeight(int height);
    // Background colour; nullopt lets the window's background show through.
    const std::optional<Rgb>& background() const { return m_background; }
    void setBackground(std::optional<Rgb> colour);
    const Rgb& foreground() const { return m_foreground; }
    void setForeground(Rgb colour);
    const Font& font() const { return m_font; }
    void setFont(Font font);

    // Paints the control at once, before the current handler returns.
    void repaint();
    // Asks the view to give the control the keyboard focus, so what the operator types next goes to it.
    void setFocus();
    void attach(const ControlEvents* events) { m_events = events; }

protected:
    void notifyChanged();

private:
    ControlKind m_kind;
    std::string m_objectName;
    int m_index;
    bool m_visible = true;
    bool m_enabled = true;
    Geometry m_geometry;
    std::optional<Rgb> m_background;
    Rgb m_foreground{0, 0, 0};
    Font m_font;
    const ControlEvents* m_events = nullptr;
};

// The window itself: caption, client size, background, shown or hidden.
class Window : public Control {
public:
    explicit Window(std::string objectName);
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption);

private:
    std::string m_caption;
};

class Label : public Control {
public:
    explicit Label(std::string objectName);
    const std::string& caption() const { return m_caption; }
    // Runs the change handler when the caption actually changes.
    void setCaption(std::string caption);
    void setOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }
    bool isCentred() const { return m_centred; }
    void setCentred(bool centred);

private:
    std::string m_caption;
    bool m_centred = false;
    std::function<void()> m_onChange;
};

class TextBox : public Control {
public:
    explicit TextBox(std::string objectName);
    const std::string& text() const { return m_text; }
    // Set by the program or typed by the operator; no handler runs. Text beyond maxLength() characters
    // (UTF-8 code points) is cut off.
    void setText(std::string text);
    // Several lines with word wrap and Enter starting a new line, or one line.
    bool isMultiLine() const { return m_multiLine; }
    void setMultiLine(bool multiLine);
    // Most characters the box holds; 0 for no limit.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int characters);

private:
    std::string m_text;
    bool m_multiLine = false;
    int m_maxLength = 0;
};

class CommandButton : public Control {
public:
    explicit CommandButton(std::string objectName);
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption);
    void setOnClick(std::function<void()> handler) { m_onClick = std::move(handler); }
    // The operator presses the button; ignored while hidden or disabled.
    void click();

private:
    std::string m_caption;
    std::function<void()> m_onClick;
};

class CheckBox : public Control {
public:
    explicit CheckBox(std::string objectName);
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption);
    // 0 clear, 1 ticked.
    int value() const { return m_value; }
    // Setting a different value runs the click handler, from the program as from the operator.
    void setValue(int value);
    // The value before the last change.
    int previousValue() const { return m_previousValue; }
    // Changes the value without running the handler (restoring an earlier state).
    void restoreValue(int value);
    void setOnClick(std::function<void()> handler) { m_onClick = std::move(handler); }
    // The operator clicks the box: toggles it; ignored while hidden or disabled.
    void click();

private:
    std::string m_caption;
    int m_value = 0;
    int m_previousValue = 0;
    std::function<void()> m_onClick;
};

// A drop-down list with an edit field.
class ComboBox : public Control {
public:
    explicit ComboBox(std::string objectName);
    const std::vector<std::string>& entries() const { return m_entries; }
    int listCount() const { return static_cast<int>(m_entries.size()); }
    void addItem(std::string entry);
    // Selected entry counted from 0; -1 when none.
    int listIndex() const { return m_listIndex; }
    // Selects an entry (-1 clears the selection and the text). A change of selection runs the click
    // handler, whether the program or the operator made it; selecting the selected entry does nothing.
    // Throws std::out_of_range for an index outside -1..listCount()-1.
    void setListIndex(int index);
    // The operator picks an entry from the list.
    void select(int index) { setListIndex(index); }
    const std::string& text() const { return m_text; }
    // Selection and text before the last change of selection.
    int previousListIndex() const { return m_previousListIndex; }
    const std::string& previousText() const { return m_previousText; }
    // Set the edit field's text: the program's initial text, or the operator typing. No handler runs;
    // a text that is not the selected entry's clears the selection.
    void setText(std::string text);
    // Puts back entries, selection and text as they were, without running the handler.
    void restore(std::vector<std::string> entries, int listIndex, std::string text);
    void setOnClick(std::function<void()> handler) { m_onClick = std::move(handler); }

private:
    std::vector<std::string> m_entries;
    int m_listIndex = -1;
    std::string m_text;
    int m_previousListIndex = -1;
    std::string m_previousText;
    std::function<void()> m_onClick;
};

// A picture slot showing a bitmap file, scaled to the slot.
class PictureBox : public Control {
public:
    PictureBox(std::string objectName, int index);
    // File of the loaded picture; empty when none is loaded.
    const std::string& picturePath() const { return m_picturePath; }
    void setPicturePath(std::string path);
    void setOnMouseDown(std::function<void(int index)> handler) { m_onMouseDown = std::move(handler); }
    // The subject or operator touches the picture; hidden pictures receive no touches.
    void mouseDown();

private:
    std::string m_picturePath;
    std::function<void(int)> m_onMouseDown;
};

// A control array with indices first..first+count-1, addressed as Image1(3).
template <typename ControlType>
class ControlArray {
public:
    ControlArray(const std::string& objectName, int first, int count)
        : m_first(first) {
        for (int i = 0; i < count; ++i)
            m_items.push_back(std::make_unique<ControlType>(objectName, first + i));
    }
    ControlType& operator()(int index) { return *m_items.at(static_cast<std::size_t>(index - m_first)); }
    const ControlType& operator()(int index) const {
        return *m_items.at(static_cast<std::size_t>(index - m_first));
    }
    int lowerBound() const { return m_first; }
    int upperBound() const { return m_first + static_cast<int>(m_items.size()) - 1; }

private:
    int m_first;
    std::vector<std::unique_ptr<ControlType>> m_items;
};

} // namespace veltrum::forms
