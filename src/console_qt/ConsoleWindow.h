// The operator's console: the running session in a window of its own, rendered from the console model.
// Events only mark the model changed; a timer repaints at most about 30 times a second.
#pragma once

#include "console/ConsoleModel.h"

#include <QTimer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScreen;
QT_END_NAMESPACE

namespace veltrum::console_qt {

class RecordChart;
class TrialStrip;

// Its widgets carry object names ("Subject", "Clock", "Link", "LinkAlarm", "Events", "Pause", ...) so
// tests and scripts find them. The window never takes the keyboard focus: the operator's keys stay with
// the stimulus screen.
class ConsoleWindow : public QWidget {
public:
    static constexpr int repaintIntervalMs = 33;

    explicit ConsoleWindow(console::ConsoleModel& model, QWidget* parent = nullptr);

    // Shows the window on a display other than the one the stimulus screen uses when there is one;
    // otherwise as an ordinary window behind the set-up panel, which the stimulus screen then covers.
    void showAwayFrom(const QScreen* stimulusScreen);
    // Reads the figures and renders everything now (the timer does this when something changed).
    void renderNow();
    int renderCount() const { return m_renders; }

private:
    void tick();
    void render(const console::ConsoleState& state);
    void renderLink(const console::ConsoleState& state);
    void pauseToggled(bool paused);

    console::ConsoleModel& m_model;
    QTimer m_repaint;
    int m_idleTicks = 0;
    int m_renders = 0;
    std::uint64_t m_shownLines = static_cast<std::uint64_t>(-1);
    std::size_t m_chartItems = static_cast<std::size_t>(-1);
    std::int64_t m_chartSecond = -1;
    bool m_chartEnded = false;

    QLabel* m_subject = nullptr;
    QLabel* m_phaseSession = nullptr;
    QLabel* m_linkAlarm = nullptr;
    QLabel* m_clock = nullptr;
    QLabel* m_timeLeft = nullptr;
    QLabel* m_trial = nullptr;
    QLabel* m_cycle = nullptr;
    QLabel* m_rewards = nullptr;
    QLabel* m_food = nullptr;
    QLabel* m_goal = nullptr;
    QLabel* m_nonGoal = nullptr;
    QLabel* m_timeouts = nullptr;
    QLabel* m_headEntries = nullptr;
    QLabel* m_rows = nullptr;
    QLabel* m_link = nullptr;
    QLabel* m_pausedNote = nullptr;
    QPlainTextEdit* m_events = nullptr;
    RecordChart* m_chart = nullptr;
    TrialStrip* m_strip = nullptr;
    QPushButton* m_pause = nullptr;
};

} // namespace veltrum::console_qt
