#include "console_qt/TrialStrip.h"

#include <QPainter>

#include <algorithm>

namespace veltrum::console_qt {

using console::TrialResult;

namespace {

constexpr int stripHeight = 18;
constexpr int keyHeight = 20;

} // namespace

QColor trialColour(TrialResult result) {
    switch (result) {
    case TrialResult::Running:
        return QColor(120, 160, 230);
    case TrialResult::Rewarded:
        return QColor(0, 160, 70);
    case TrialResult::Pecked:
        return QColor(235, 170, 30);
    case TrialResult::NoPeck:
        return QColor(200, 60, 60);
    }
    return Qt::gray;
}

void paintTrialStrip(QPainter& painter, const QRect& area, const std::vector<TrialResult>& trials,
                     int totalTrials) {
    const int cells = std::max({1, totalTrials, static_cast<int>(trials.size())});
    const double width = static_cast<double>(area.width()) / cells;
    painter.save();
    painter.fillRect(area, QColor(245, 245, 245));
    for (int k = 0; k < cells; ++k) {
        const QRectF cell(area.left() + k * width, area.top(), width, area.height());
        if (k < static_cast<int>(trials.size()))
            painter.fillRect(cell.adjusted(0.5, 1, -0.5, -1),
                             trialColour(trials[static_cast<std::size_t>(k)]));
        // Dividers only while cells are wide enough to tell apart.
        if (width >= 4.0) {
            painter.setPen(QPen(QColor(255, 255, 255), 1));
            painter.drawLine(cell.topLeft(), cell.bottomLeft());
        }
    }
    painter.setPen(QPen(QColor(150, 150, 150), 1));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.restore();
}

void paintTrialKey(QPainter& painter, const QRect& area) {
    const std::pair<TrialResult, const char*> keys[] = {
        {TrialResult::Running, "under way"},
        {TrialResult::Rewarded, "rewarded"},
        {TrialResult::Pecked, "pecked, not rewarded"},
        {TrialResult::NoPeck, "no peck"},
    };
    painter.save();
    painter.setPen(Qt::black);
    int x = area.left();
    for (const auto& [result, text] : keys) {
        painter.fillRect(QRect(x, area.center().y() - 5, 12, 10), trialColour(result));
        const QString label = QString::fromLatin1(text);
        painter.drawText(QRect(x + 16, area.top(), area.right() - x - 16, area.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, label);
        x += 16 + painter.fontMetrics().horizontalAdvance(label) + 18;
    }
    painter.restore();
}

TrialStrip::TrialStrip(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("TrialStrip"));
    setMinimumHeight(stripHeight + keyHeight);
}

void TrialStrip::setTrials(const std::vector<TrialResult>& trials, int totalTrials) {
    if (trials == m_trials && totalTrials == m_totalTrials)
        return;
    m_trials = trials;
    m_totalTrials = totalTrials;
    update();
}

void TrialStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintTrialStrip(painter, QRect(0, 0, width(), height() - keyHeight), m_trials, m_totalTrials);
    paintTrialKey(painter, QRect(0, height() - keyHeight, width(), keyHeight));
}

} // namespace veltrum::console_qt
