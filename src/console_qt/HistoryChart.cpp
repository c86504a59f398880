#include "console_qt/HistoryChart.h"

#include "workbook/Workbook.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

namespace veltrum::console_qt {

using history::SessionRates;

namespace {

struct Rate {
    const char* name;
    std::optional<double> SessionRates::*value;
    QColor colour;
};

const Rate rates[] = {
    {"TrialPC", &SessionRates::trialPC, QColor(40, 110, 220)},
    {"HopPC", &SessionRates::hopPC, QColor(190, 110, 230)},
    {"TargetDR", &SessionRates::targetDR, QColor(0, 160, 70)},
    {"TargetRate (pecks/s, right)", &SessionRates::targetRate, QColor(230, 120, 20)},
};

} // namespace

HistoryChart::HistoryChart(bool compact)
    : m_compact(compact) {
    setTheme(compact ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    setMargins(compact ? QMargins(2, 2, 2, 2) : QMargins(8, 8, 8, 8));
    if (compact) {
        setBackgroundRoundness(0);
        QFont small = legend()->font();
        small.setPointSizeF(7.0);
        legend()->setFont(small);
        QFont titleFont = this->titleFont();
        titleFont.setPointSizeF(8.5);
        setTitleFont(titleFont);
    }
    legend()->setAlignment(Qt::AlignBottom);
}

void HistoryChart::clearSeries() {
    removeAllSeries();
    for (QAbstractAxis* axis : axes()) {
        removeAxis(axis);
        delete axis;
    }
}

void HistoryChart::setMessage(const QString& subject, const QString& message) {
    clearSeries();
    setTitle(subject.isEmpty() ? message : QStringLiteral("%1: %2").arg(subject, message));
}

void HistoryChart::setHistory(const QString& subject, const std::vector<SessionRates>& sessions) {
    clearSeries();
    if (sessions.empty()) {
        setMessage(subject, QStringLiteral("no earlier sessions"));
        return;
    }
    setTitle(QStringLiteral("%1: %2 earlier session(s)").arg(subject).arg(sessions.size()));

    const double first = sessions.front().session - 0.5;
    const double last = sessions.back().session + 0.5;
    auto* sessionAxis = new QValueAxis;
    sessionAxis->setRange(first, last);
    sessionAxis->setLabelFormat(QStringLiteral("%d"));
    sessionAxis->setTickType(QValueAxis::TicksDynamic);
    sessionAxis->setTickAnchor(sessions.front().session);
    sessionAxis->setTickInterval(std::max(1.0, std::ceil((last - first) / (m_compact ? 8.0 : 16.0))));
    // Head entries per trial may pass 1; the axis then grows in quarters.
    double highestFraction = 1.0;
    for (const SessionRates& s : sessions)
        for (const std::optional<double>& value : {s.trialPC, s.hopPC, s.targetDR})
            highestFraction = std::max(highestFraction, std::ceil(value.value_or(0.0) * 2.0) / 2.0);
    auto* fractionAxis = new QValueAxis;
    fractionAxis->setRange(0, highestFraction);
    fractionAxis->setTickType(QValueAxis::TicksDynamic);
    fractionAxis->setTickAnchor(0);
    fractionAxis->setTickInterval(m_compact ? 0.5 : 0.25);
    fractionAxis->setLabelFormat(QStringLiteral("%g"));
    double highestRate = 0.0;
    for (const SessionRates& s : sessions)
        highestRate = std::max(highestRate, s.targetRate.value_or(0.0));
    // The right axis ticks where the left one does, so that the left axis's grid serves both.
    const double fractionSteps = highestFraction / fractionAxis->tickInterval();
    auto* rateAxis = new QValueAxis;
    const double rateStep = std::max(0.25, std::ceil(highestRate / fractionSteps * 4.0) / 4.0);
    rateAxis->setRange(0, rateStep * fractionSteps);
    rateAxis->setTickType(QValueAxis::TicksDynamic);
    rateAxis->setTickAnchor(0);
    rateAxis->setTickInterval(rateStep);
    rateAxis->setLabelFormat(QStringLiteral("%g"));
    rateAxis->setGridLineVisible(false);

    // The phases name the sessions they span along the top; the lines between them mark each change.
    auto* phaseAxis = new QCategoryAxis;
    phaseAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    phaseAxis->setStartValue(first);
    phaseAxis->setRange(first, last);
    QStringList used;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const bool runEnds = i + 1 == sessions.size() || sessions[i + 1].phase != sessions[i].phase;
        if (!runEnds)
            continue;
        // Labels of a category axis must differ; a phase met again gets invisible padding.
        QString name = QString::fromStdString(history::phaseName(sessions[i].phase));
        while (used.contains(name))
            name += QLatin1Char(' ');
        used.append(name);
        const double end =
            i + 1 == sessions.size() ? last : (sessions[i].session + sessions[i + 1].session) / 2.0;
        phaseAxis->append(name, end);
    }
    QPen boundary(m_compact ? QColor(230, 230, 230) : QColor(90, 90, 90));
    boundary.setStyle(Qt::DashLine);
    phaseAxis->setGridLinePen(boundary);
    QFont phaseFont = phaseAxis->labelsFont();
    phaseFont.setBold(true);
    if (m_compact)
        phaseFont.setPointSizeF(7.5);
    phaseAxis->setLabelsFont(phaseFont);

    if (m_compact) {
        QFont small = sessionAxis->labelsFont();
        small.setPointSizeF(7.0);
        for (QValueAxis* axis : {sessionAxis, fractionAxis, rateAxis})
            axis->setLabelsFont(small);
    } else {
        sessionAxis->setTitleText(QStringLiteral("Session"));
        fractionAxis->setTitleText(QStringLiteral("TrialPC, HopPC, TargetDR"));
        rateAxis->setTitleText(QStringLiteral("TargetRate (goal pecks per second)"));
    }
    addAxis(sessionAxis, Qt::AlignBottom);
    addAxis(phaseAxis, Qt::AlignTop);
    addAxis(fractionAxis, Qt::AlignLeft);
    addAxis(rateAxis, Qt::AlignRight);
    sessionAxis->setGridLineVisible(false);

    for (const Rate& rate : rates) {
        auto* series = new QLineSeries;
        series->setName(QString::fromLatin1(rate.name));
        series->setPointsVisible(true);
        series->setPen(QPen(rate.colour, m_compact ? 1.5 : 2.0));
        series->setColor(rate.colour);
        for (const SessionRates& s : sessions)
            if (const std::optional<double>& value = s.*rate.value)
                series->append(s.session, *value);
        addSeries(series);
        series->attachAxis(sessionAxis);
        series->attachAxis(rate.value == &SessionRates::targetRate ? rateAxis : fractionAxis);
    }
}

QImage renderHistoryPicture(const QString& subject, const std::vector<SessionRates>& sessions, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QGraphicsScene scene;
    auto* chart = new HistoryChart(false);
    // Axes and series first: the chart lays itself out when it is placed.
    chart->setHistory(subject, sessions);
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), size));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    return image;
}

HistoryPanel::HistoryPanel(records::SessionRecords& records, QWidget* parent)
    : QChartView(parent)
    , m_records(records)
    , m_chart(new HistoryChart(true)) {
    setObjectName(QStringLiteral("SubjectHistory"));
    setChart(m_chart);
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setStyleSheet(QStringLiteral("background: black;"));
    m_delay.setSingleShot(true);
    m_delay.setInterval(150);
    connect(&m_delay, &QTimer::timeout, this, [this] { loadNow(); });
}

void HistoryPanel::requestSubject(const QString& summaryWorkbook, const QString& subject) {
    if (subject == m_shownSubject && summaryWorkbook == m_workbook && !m_delay.isActive())
        return;
    m_workbook = summaryWorkbook;
    m_subject = subject;
    m_delay.start();
}

void HistoryPanel::loadNow() {
    m_delay.stop();
    m_shownSubject = m_subject;
    m_shownSessions = -1;
    if (m_subject.isEmpty()) {
        m_chart->setMessage({}, QStringLiteral("Pick a subject to see its earlier sessions"));
        return;
    }
    try {
        const std::vector<SessionRates> sessions =
            history::readSubjectHistory(m_records, m_workbook.toStdString(), m_subject.toStdString());
        m_chart->setHistory(m_subject, sessions);
        m_shownSessions = static_cast<int>(sessions.size());
    } catch (const workbook::WorkbookError& error) {
        m_chart->setMessage(m_subject,
                            QStringLiteral("history not readable (%1)").arg(QString::fromUtf8(error.what())));
    }
}

} // namespace veltrum::console_qt
