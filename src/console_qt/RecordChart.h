// The cumulative record drawn with Qt Charts: the pen's path over session minutes, reinforcers and
// timeouts marked on it. One chart serves the live console and the picture saved at the session's end.
#pragma once

#include "console/ConsoleModel.h"

#include <QtCharts/QChart>

#include <cstdint>

QT_BEGIN_NAMESPACE
class QLineSeries;
class QScatterSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace veltrum::console_qt {

class RecordChart : public QChart {
public:
    RecordChart();

    // Draws `record` up to `nowMs` of session time, on an axis as long as the session (sessionMinutes),
    // or longer once the session has run past it; sessionMinutes 0: as long as the record.
    void draw(const console::CumulativeRecord& record, std::int64_t nowMs, int sessionMinutes);

private:
    QLineSeries* m_pen = nullptr;
    QScatterSeries* m_reinforcers = nullptr;
    QScatterSeries* m_timeouts = nullptr;
    QValueAxis* m_time = nullptr;
    QValueAxis* m_responses = nullptr;
    std::size_t m_steps = static_cast<std::size_t>(-1);
    std::size_t m_marks = static_cast<std::size_t>(-1);
};

} // namespace veltrum::console_qt
