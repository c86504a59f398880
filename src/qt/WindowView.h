// Renders a window model: one child widget per control at the control's geometry, kept in step with
// the model, and the operator's clicks, selections, typing and keys forwarded to it.
#pragma once

#include "forms/Controls.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <unordered_map>
#include <vector>

namespace veltrum::qt {

// Widgets carry the control's objectName, an element of a control array with its index ("Image1(3)"),
// so tests and tools find them by the names the window uses. Every forwarded action runs guarded: a
// failure is reported through the failure sink and never reaches Qt's event loop.
class WindowView : public QWidget {
public:
    explicit WindowView(const std::vector<forms::Control*>& controls, QWidget* parent = nullptr);

    // What the model must call when a control changed or must be painted at once; the owner hands
    // these to the model and takes them back before the view goes.
    const forms::ControlEvents& controlEvents() const { return m_events; }

    // The one place keys typed on the window go: the character typed, as its character code.
    void setKeyHandler(std::function<void(int character)> handler) { m_keyHandler = std::move(handler); }
    // Runs once, after the window was first painted on screen.
    void setOnFirstPaint(std::function<void()> handler) { m_onFirstPaint = std::move(handler); }

    QWidget* widgetFor(const forms::Control& control) const;
    // Follows the model's own visibility from now on (it was left hidden until the caller showed it).
    void showWindow();
    // True: the window fills its display, without a frame, whatever size the model gives it (the stimulus
    // screen); false: it takes the model's size and frame again.
    void setFillsScreen(bool fills);
    bool fillsScreen() const { return m_fillsScreen; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* createWidget(forms::Control& control);
    void render(const forms::Control& control);
    void renderWindow(const forms::Window& window);
    void renderCommon(const forms::Control& control, QWidget* widget);
    void renderPicture(const forms::PictureBox& picture, QWidget* widget);
    QPixmap loadPicture(const std::string& path);

    std::vector<forms::Control*> m_controls;
    forms::ControlEvents m_events;
    std::unordered_map<const forms::Control*, QWidget*> m_widgets;
    QHash<QString, QPixmap> m_pictures;
    std::function<void(int)> m_keyHandler;
    std::function<void()> m_onFirstPaint;
    bool m_followsModelVisibility = false;
    bool m_fillsScreen = false;
    bool m_modelWindowVisible = true;
};

} // namespace veltrum::qt
