#include "forms/Controls.h"

#include <stdexcept>

namespace veltrum::forms {

namespace {

// Bytes taken by the first `characters` code points of UTF-8 text; a sequence is never cut in two.
std::size_t utf8PrefixBytes(const std::string& text, std::size_t characters) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && seen++ == characters)
            return i;
    }
    return text.size();
}

} // namespace

Control::Control(ControlKind kind, std::string objectName, int index)
    : m_kind(kind)
    , m_objectName(std::move(objectName))
    , m_index(index) {}

void Control::setVisible(bool visible) {
    if (visible == m_visible)
        return;
    m_visible = visible;
    notifyChanged();
}

void Control::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    notifyChanged();
}

void Control::setGeometry(Geometry geometry) {
    if (geometry == m_geometry)
        return;
    m_geometry = geometry;
    notifyChanged();
}

void Control::setLeft(int left) {
    Geometry g = m_geometry;
    g.left = left;
    setGeometry(g);
}

void Control::setTop(int top) {
    Geometry g = m_geometry;
    g.top = top;
    setGeometry(g);
}

void Control::setWidth(int width) {
    Geometry g = m_geometry;
    g.width = width;
    setGeometry(g);
}

void Control::setHeight(int height) {
    Geometry g = m_geometry;
    g.height = height;
    setGeometry(g);
}

void Control::setBackground(std::optional<Rgb> colour) {
    if (colour == m_background)
        return;
    m_background = colour;
    notifyChanged();
}

void Control::setForeground(Rgb colour) {
    if (colour == m_foreground)
        return;
    m_foreground = colour;
    notifyChanged();
}

void Control::setFont(Font font) {
    m_font = std::move(font);
    notifyChanged();
}

void Control::repaint() {
    if (m_events && m_events->repaintNow)
        m_events->repaintNow(*this);
}

void Control::setFocus() {
    if (m_events && m_events->focus)
        m_events->focus(*this);
}

void Control::notifyChanged() {
    if (m_events && m_events->changed)
        m_events->changed(*this);
}

Window::Window(std::string objectName)
    : Control(ControlKind::Window, std::move(objectName)) {}

void Window::setCaption(std::string caption) {
    m_caption = std::move(caption);
    notifyChanged();
}

Label::Label(std::string objectName)
    : Control(ControlKind::Label, std::move(objectName)) {}

void Label::setCaption(std::string caption) {
    if (caption == m_caption)
        return;
    m_caption = std::move(caption);
    notifyChanged();
    if (m_onChange)
        m_onChange();
}

void Label::setCentred(bool centred) {
    m_centred = centred;
    notifyChanged();
}

TextBox::TextBox(std::string objectName)
    : Control(ControlKind::TextBox, std::move(objectName)) {}

void TextBox::setText(std::string text) {
    if (m_maxLength > 0)
        text.resize(utf8PrefixBytes(text, static_cast<std::size_t>(m_maxLength)));
    if (text == m_text)
        return;
    m_text = std::move(text);
    notifyChanged();
}

void TextBox::setMultiLine(bool multiLine) {
    if (multiLine == m_multiLine)
        return;
    m_multiLine = multiLine;
    notifyChanged();
}

void TextBox::setMaxLength(int characters) {
    m_maxLength = characters > 0 ? characters : 0;
    if (m_maxLength > 0)
        m_text.resize(utf8PrefixBytes(m_text, static_cast<std::size_t>(m_maxLength)));
    notifyChanged();
}

CommandButton::CommandButton(std::string objectName)
    : Control(ControlKind::CommandButton, std::move(objectName)) {}

void CommandButton::setCaption(std::string caption) {
    m_caption = std::move(caption);
    notifyChanged();
}

void CommandButton::click() {
    if (isVisible() && isEnabled() && m_onClick)
        m_onClick();
}

CheckBox::CheckBox(std::string objectName)
    : Control(ControlKind::CheckBox, std::move(objectName)) {}

void CheckBox::setCaption(std::string caption) {
    m_caption = std::move(caption);
    notifyChanged();
}

void CheckBox::setValue(int value) {
    if (value == m_value)
        return;
    m_previousValue = m_value;
    m_value = value;
    notifyChanged();
    if (m_onClick)
        m_onClick();
}

void CheckBox::restoreValue(int value) {
    if (value == m_value)
        return;
    m_value = value;
    notifyChanged();
}

void CheckBox::click() {
    if (isVisible() && isEnabled())
        setValue(m_value == 0 ? 1 : 0);
}

ComboBox::ComboBox(std::string objectName)
    : Control(ControlKind::ComboBox, std::move(objectName)) {}

void ComboBox::addItem(std::string entry) {
    m_entries.push_back(std::move(entry));
    notifyChanged();
}

void ComboBox::setListIndex(int index) {
    if (index < -1 || index >= listCount())
        throw std::out_of_range("The list " + objectName() + " has no entry " + std::to_string(index) + ".");
    if (index == m_listIndex)
        return;
    m_previousListIndex = m_listIndex;
    m_previousText = m_text;
    m_listIndex = index;
    m_text = index >= 0 ? m_entries[static_cast<std::size_t>(index)] : std::string();
    notifyChanged();
    if (m_onClick)
        m_onClick();
}

void ComboBox::setText(std::string text) {
    if (m_listIndex >= 0 && text != m_entries[static_cast<std::size_t>(m_listIndex)])
        m_listIndex = -1;
    m_text = std::move(text);
    notifyChanged();
}

void ComboBox::restore(std::vector<std::string> entries, int listIndex, std::string text) {
    m_entries = std::move(entries);
    m_listIndex = listIndex;
    m_text = std::move(text);
    notifyChanged();
}

PictureBox::PictureBox(std::string objectName, int index)
    : Control(ControlKind::PictureBox, std::move(objectName), index) {}

void PictureBox::setPicturePath(std::string path) {
    if (path == m_picturePath)
        return;
    m_picturePath = std::move(path);
    notifyChanged();
}

void PictureBox::mouseDown() {
    if (isVisible() && isEnabled() && m_onMouseDown)
        m_onMouseDown(index());
}

} // namespace veltrum::forms
