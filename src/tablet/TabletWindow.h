// The tablet's screen: six picture positions in two rows of three, each reporting its touches.
#pragma once

#include "tablet/DisplayStream.h"

#include <QLabel>
#include <QWidget>

#include <array>
#include <functional>

namespace veltrum::tablet {

class TabletWindow : public QWidget {
public:
    explicit TabletWindow(QString imageFolder, QWidget* parent = nullptr);
    // Shows what a display message names at each position; a missing picture file shows its number.
    void showDisplay(const Display& display);
    void setConnected(bool connected);
    // Runs for every press on a position (1..6), whatever it shows.
    void setOnTouch(std::function<void(int position)> handler) { m_onTouch = std::move(handler); }
    // A press on a position, as the subject's touch delivers it.
    void touch(int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_imageFolder;
    std::array<QLabel*, 6> m_positions{};
    Display m_display{};
    std::function<void(int)> m_onTouch;
};

} // namespace veltrum::tablet
