// The strip of trial outcomes: one cell per trial of the session, coloured by how it went.
#pragma once

#include "console/ConsoleModel.h"

#include <QWidget>

#include <vector>

namespace veltrum::console_qt {

// Paints the strip into `area`: trials run so far, then empty cells up to totalTrials.
void paintTrialStrip(QPainter& painter, const QRect& area, const std::vector<console::TrialResult>& trials,
                     int totalTrials);
QColor trialColour(console::TrialResult result);
// Paints the key to the strip's colours into `area`, one line.
void paintTrialKey(QPainter& painter, const QRect& area);

// The strip with its key below it.
class TrialStrip : public QWidget {
public:
    explicit TrialStrip(QWidget* parent = nullptr);
    void setTrials(const std::vector<console::TrialResult>& trials, int totalTrials);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<console::TrialResult> m_trials;
    int m_totalTrials = 0;
};

} // namespace veltrum::console_qt
