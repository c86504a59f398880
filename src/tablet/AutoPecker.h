// A simulated subject: pecks at the tablet by itself while a picture is shown.
#pragma once

#include "tablet/DisplayStream.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <random>

namespace veltrum::tablet {

// Pecks `rate` times a second while at least one picture is shown: a shown picture with probability
// `accuracy` (either one, with equal chance, when two are shown), else one of the empty positions.
// The same seed gives the same pecks.
class AutoPecker : public QObject {
public:
    AutoPecker(double rate, double accuracy, unsigned seed, QObject* parent = nullptr);
    void setOnPeck(std::function<void(int position)> handler) { m_onPeck = std::move(handler); }
    // The tablet shows a new display: pecking starts or stops with the pictures.
    void showDisplay(const Display& display);
    // The position of the next peck at `display`, 0 when nothing is shown.
    int choose(const Display& display);

private:
    void peck();

    double m_accuracy;
    std::mt19937 m_random;
    QTimer m_timer;
    Display m_display{};
    std::function<void(int)> m_onPeck;
};

} // namespace veltrum::tablet
