#include "tablet/AutoPecker.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace veltrum::tablet {

AutoPecker::AutoPecker(double rate, double accuracy, unsigned seed, QObject* parent)
    : QObject(parent)
    , m_accuracy(accuracy)
    , m_random(seed) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / rate))));
    connect(&m_timer, &QTimer::timeout, this, &AutoPecker::peck);
}

void AutoPecker::showDisplay(const Display& display) {
    m_display = display;
    const bool shown = std::any_of(display.begin(), display.end(), [](int picture) { return picture > 0; });
    if (!shown)
        m_timer.stop();
    else if (!m_timer.isActive())
        m_timer.start();
}

int AutoPecker::choose(const Display& display) {
    std::vector<int> shown;
    std::vector<int> empty;
    for (int i = 0; i < 6; ++i)
        (display[static_cast<std::size_t>(i)] > 0 ? shown : empty).push_back(i + 1);
    if (shown.empty())
        return 0;
    const bool hit = empty.empty() || std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < m_accuracy;
    const std::vector<int>& from = hit ? shown : empty;
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(m_random)];
}

void AutoPecker::peck() {
    const int position = choose(m_display);
    if (position > 0 && m_onPeck)
        m_onPeck(position);
}

} // namespace veltrum::tablet
