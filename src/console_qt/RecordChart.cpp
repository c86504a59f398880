#include "console_qt/RecordChart.h"

#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

namespace veltrum::console_qt {

namespace {

double minutes(std::int64_t ms) {
    return static_cast<double>(ms) / 60000.0;
}

} // namespace

RecordChart::RecordChart() {
    setTitle(QStringLiteral("Cumulative record"));
    setMargins(QMargins(4, 4, 4, 4));
    legend()->setAlignment(Qt::AlignBottom);
    QFont small = legend()->font();
    small.setPointSizeF(8.0);
    legend()->setFont(small);

    m_pen = new QLineSeries;
    m_pen->setName(QStringLiteral("Pecks"));
    m_pen->setPen(QPen(QColor(20, 20, 20), 1.5));
    m_reinforcers = new QScatterSeries;
    m_reinforcers->setName(QStringLiteral("Reinforcer"));
    m_reinforcers->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    m_reinforcers->setMarkerSize(9.0);
    m_reinforcers->setColor(QColor(0, 150, 60));
    m_reinforcers->setBorderColor(QColor(0, 100, 40));
    m_timeouts = new QScatterSeries;
    m_timeouts->setName(QStringLiteral("Timeout"));
    m_timeouts->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_timeouts->setMarkerSize(7.0);
    m_timeouts->setColor(QColor(210, 40, 40));
    m_timeouts->setBorderColor(QColor(150, 20, 20));
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_pen), static_cast<QAbstractSeries*>(m_reinforcers),
          static_cast<QAbstractSeries*>(m_timeouts)})
        addSeries(series);

    m_time = new QValueAxis;
    m_time->setTitleText(QStringLiteral("Session minutes"));
    m_time->setLabelFormat(QStringLiteral("%g"));
    m_responses = new QValueAxis;
    m_responses->setTitleText(QStringLiteral("Pecks"));
    m_responses->setRange(0, console::CumulativeRecord::height);
    m_responses->setLabelFormat(QStringLiteral("%d"));
    m_responses->setTickCount(6);
    addAxis(m_time, Qt::AlignBottom);
    addAxis(m_responses, Qt::AlignLeft);
    for (QAbstractSeries* series : this->series()) {
        series->attachAxis(m_time);
        series->attachAxis(m_responses);
    }
}

void RecordChart::draw(const console::CumulativeRecord& record, std::int64_t nowMs, int sessionMinutes) {
    const std::int64_t lastStep = record.steps.empty() ? 0 : record.steps.back().atMs;
    const std::int64_t end = std::max(nowMs, lastStep);
    const double length = std::max({1.0, static_cast<double>(sessionMinutes), std::ceil(minutes(end))});
    if (m_time->max() != length) {
        m_time->setRange(0, length);
        m_time->setTickType(QValueAxis::TicksDynamic);
        m_time->setTickAnchor(0);
        m_time->setTickInterval(std::ceil(length / 12.0));
    }

    // The path is redrawn only when a peck came; otherwise only its last point moves on with the clock.
    if (record.steps.size() != m_steps) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(record.steps.size() * 2 + 2));
        int height = 0;
        points.append(QPointF(0, 0));
        for (const console::RecordStep& step : record.steps) {
            points.append(QPointF(minutes(step.atMs), height));
            points.append(QPointF(minutes(step.atMs), step.height));
            height = step.height;
        }
        points.append(QPointF(minutes(end), height));
        m_pen->replace(points);
        m_steps = record.steps.size();
    } else if (m_pen->count() > 0) {
        const QPointF last = m_pen->at(m_pen->count() - 1);
        m_pen->replace(m_pen->count() - 1, QPointF(minutes(end), last.y()));
    }
    if (record.marks.size() != m_marks) {
        QList<QPointF> reinforcers;
        QList<QPointF> timeouts;
        for (const console::RecordMark& mark : record.marks)
            (mark.kind == console::MarkKind::Reinforcer ? reinforcers : timeouts)
                .append(QPointF(minutes(mark.atMs), mark.height));
        m_reinforcers->replace(reinforcers);
        m_timeouts->replace(timeouts);
        m_marks = record.marks.size();
    }
}

} // namespace veltrum::console_qt
