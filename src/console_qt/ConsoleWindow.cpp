#include "console_qt/ConsoleWindow.h"

#include "console_qt/RecordChart.h"
#include "console_qt/TrialStrip.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QtCharts/QChartView>

namespace veltrum::console_qt {

namespace {

// How many quiet ticks pass before the figures are read anyway, so the clock and the seconds since the
// tablet's last message move on about four times a second.
constexpr int idleTicksBetweenReads = 8;

QString clockText(std::int64_t ms) {
    const std::int64_t seconds = std::max<std::int64_t>(0, ms) / 1000;
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QLabel* figure(QWidget* parent, QGridLayout* grid, int row, const QString& caption, const QString& name) {
    auto* title = new QLabel(caption, parent);
    title->setStyleSheet(QStringLiteral("color: #555;"));
    auto* value = new QLabel(parent);
    value->setObjectName(name);
    value->setTextFormat(Qt::PlainText);
    QFont font = value->font();
    font.setPointSizeF(13.0);
    font.setBold(true);
    value->setFont(font);
    grid->addWidget(title, row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

// A plain-text label named for tests and tools, in a font of that size.
QLabel* namedLabel(QWidget* parent, const QString& name, double pointSize, bool bold) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

// The last events, one a line, in a fixed font, all twenty in view without scrolling.
QPlainTextEdit* eventList(QWidget* parent) {
    auto* events = new QPlainTextEdit(parent);
    events->setObjectName(QStringLiteral("Events"));
    events->setReadOnly(true);
    events->setFocusPolicy(Qt::NoFocus);
    events->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(9.5);
    events->setFont(fixed);
    events->setMinimumWidth(360);
    events->setMinimumHeight(QFontMetrics(fixed).lineSpacing() * int(console::ConsoleModel::eventLines) + 16);
    return events;
}

void setText(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

} // namespace

ConsoleWindow::ConsoleWindow(console::ConsoleModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model) {
    setObjectName(QStringLiteral("Console"));
    setWindowTitle(QStringLiteral("Veltrum console"));
    // Keys typed while the operator looks here must still reach the stimulus screen.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral("QWidget#Console { background: white; }"));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_subject = namedLabel(this, QStringLiteral("Subject"), 40.0, true);
    m_phaseSession = namedLabel(this, QStringLiteral("PhaseSession"), 18.0, false);
    top->addWidget(m_subject);
    top->addSpacing(24);
    top->addWidget(m_phaseSession, 1, Qt::AlignBottom);
    layout->addLayout(top);

    m_linkAlarm = namedLabel(this, QStringLiteral("LinkAlarm"), 18.0, true);
    m_linkAlarm->setAlignment(Qt::AlignCenter);
    m_linkAlarm->setStyleSheet(QStringLiteral("background: #d00000; color: white; padding: 6px;"));
    m_linkAlarm->hide();
    layout->addWidget(m_linkAlarm);

    auto* middle = new QHBoxLayout;
    auto* grid = new QGridLayout;
    int row = 0;
    m_clock = figure(this, grid, row++, QStringLiteral("Session clock"), QStringLiteral("Clock"));
    m_timeLeft = figure(this, grid, row++, QStringLiteral("Time left"), QStringLiteral("TimeLeft"));
    m_trial = figure(this, grid, row++, QStringLiteral("Trial"), QStringLiteral("TrialOfTotal"));
    m_cycle = figure(this, grid, row++, QStringLiteral("Trial cycle"), QStringLiteral("CycleState"));
    m_rewards = figure(this, grid, row++, QStringLiteral("Rewarded pecks"), QStringLiteral("Rewards"));
    m_food = figure(this, grid, row++, QStringLiteral("Food given"), QStringLiteral("FoodGiven"));
    m_goal = figure(this, grid, row++, QStringLiteral("Goal pecks"), QStringLiteral("GoalPecks"));
    m_nonGoal = figure(this, grid, row++, QStringLiteral("Non-goal pecks"), QStringLiteral("NonGoalPecks"));
    m_timeouts = figure(this, grid, row++, QStringLiteral("Timeouts"), QStringLiteral("Timeouts"));
    m_headEntries = figure(this, grid, row++, QStringLiteral("Head entries"), QStringLiteral("HeadEntries"));
    m_rows = figure(this, grid, row++, QStringLiteral("Rows"), QStringLiteral("Rows"));
    m_link = figure(this, grid, row++, QStringLiteral("Tablet"), QStringLiteral("Link"));
    m_link->setWordWrap(true);
    grid->setColumnStretch(1, 1);
    middle->addLayout(grid, 1);

    m_events = eventList(this);
    middle->addWidget(m_events, 1);
    layout->addLayout(middle);

    m_chart = new RecordChart;
    auto* chartView = new QChartView(m_chart, this);
    chartView->setObjectName(QStringLiteral("CumulativeRecord"));
    // Without antialiasing the live chart paints in a fraction of the time; the saved picture has it.
    chartView->setRenderHint(QPainter::Antialiasing, false);
    chartView->setMinimumHeight(240);
    layout->addWidget(chartView, 1);
    m_strip = new TrialStrip(this);
    layout->addWidget(m_strip);

    auto* bottom = new QHBoxLayout;
    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_pause->setObjectName(QStringLiteral("Pause"));
    m_pause->setCheckable(true);
    m_pause->setFocusPolicy(Qt::NoFocus);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) { pauseToggled(paused); });
    m_pausedNote = new QLabel(this);
    m_pausedNote->setObjectName(QStringLiteral("PausedNote"));
    bottom->addWidget(m_pause);
    bottom->addWidget(m_pausedNote, 1);
    layout->addLayout(bottom);

    m_repaint.setInterval(repaintIntervalMs);
    connect(&m_repaint, &QTimer::timeout, this, [this] { tick(); });
    m_repaint.start();
    resize(1000, 760);
    renderNow();
}

void ConsoleWindow::showAwayFrom(const QScreen* stimulusScreen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        if (screen == stimulusScreen)
            continue;
        const QRect area = screen->availableGeometry();
        setScreen(screen);
        setGeometry(area.adjusted(20, 40, -20, -20));
        show();
        return;
    }
    if (stimulusScreen) {
        // One display: as far right as it fits, behind the panel so it covers none of its controls.
        const QRect area = stimulusScreen->availableGeometry();
        move(area.left() + std::max(0, area.width() - width()), area.top());
    }
    show();
    lower();
}

void ConsoleWindow::pauseToggled(bool paused) {
    m_model.setPaused(paused);
    m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    const console::ConsoleState& shown = m_model.shown();
    m_pausedNote->setText(
        paused ? QStringLiteral("Paused at %1: the session goes on and its events are kept.")
                     .arg(clockText(shown.startedAtMs >= 0 ? shown.figures.nowMs - shown.startedAtMs : 0))
               : QString());
    renderNow();
}

void ConsoleWindow::tick() {
    const bool changed = m_model.takeChanges();
    if (!changed && (m_model.paused() || ++m_idleTicks < idleTicksBetweenReads))
        return;
    m_idleTicks = 0;
    renderNow();
}

void ConsoleWindow::renderNow() {
    m_model.refresh();
    render(m_model.shown());
    ++m_renders;
}

void ConsoleWindow::render(const console::ConsoleState& state) {
    const engine::SessionSnapshot& f = state.figures;
    setText(m_subject, QString::fromStdString(f.subject));
    setText(m_phaseSession,
            QStringLiteral("%1   session %2").arg(QString::fromStdString(f.phase)).arg(f.sessionNumber));
    const bool started = state.startedAtMs >= 0;
    const std::int64_t elapsed = started ? f.nowMs - state.startedAtMs : 0;
    setText(m_clock, started ? clockText(elapsed) : QStringLiteral("not started"));
    // Time left counts whole seconds up, so clock and time left always add up to the session's length.
    setText(m_timeLeft, started ? clockText(std::int64_t(f.sessionMinutes) * 60000 - elapsed + 999)
                                : clockText(std::int64_t(f.sessionMinutes) * 60000));
    setText(m_trial, QStringLiteral("%1 of %2").arg(f.trial).arg(f.totalTrials));
    setText(m_cycle, QString::fromStdString(console::cycleStateText(f.state)));
    setText(m_rewards, QString::number(f.rewards));
    // Every raise of the hopper, by a rewarded peck, a magazine-training trial or a shaping key.
    setText(m_food, QString::number(state.reinforcers));
    setText(m_goal, QString::number(f.target));
    setText(m_nonGoal, QString::number(f.screen - f.target));
    setText(m_timeouts, QString::number(f.timeouts));
    setText(m_headEntries, QString::number(f.headEntries));
    setText(m_rows, QStringLiteral("%1 written, %2 waiting").arg(f.rowsCommitted).arg(f.rowsWaiting));
    m_rows->setStyleSheet(f.rowsWaiting > 0 ? QStringLiteral("color: #d00000;") : QString());
    renderLink(state);

    // The list is rewritten only when its lines changed.
    if (state.linesAdded != m_shownLines) {
        QStringList lines;
        for (const console::EventLine& line : state.events)
            lines.append(QString::fromStdString(line.text));
        m_events->setPlainText(lines.join(QLatin1Char('\n')));
        // The newest line at the bottom stays in view.
        m_events->verticalScrollBar()->setValue(m_events->verticalScrollBar()->maximum());
        m_shownLines = state.linesAdded;
    }
    // Redrawing the chart is the costly part of a repaint: only for a new peck or mark, or once a
    // second for the pen moving on with the clock.
    const std::size_t drawn = state.record.steps.size() + state.record.marks.size();
    if (drawn != m_chartItems || elapsed / 1000 != m_chartSecond || state.ended != m_chartEnded) {
        m_chart->draw(state.record, elapsed, state.ended ? 0 : f.sessionMinutes);
        m_chartItems = drawn;
        m_chartSecond = elapsed / 1000;
        m_chartEnded = state.ended;
    }
    m_strip->setTrials(state.trials, f.totalTrials);
}

void ConsoleWindow::renderLink(const console::ConsoleState& state) {
    const engine::SessionSnapshot& f = state.figures;
    QString text;
    if (f.linkConnected) {
        text = QStringLiteral("connected, %1").arg(QString::fromStdString(f.tabletAddress));
        if (f.lastTabletMessageAtMs >= 0)
            text += QStringLiteral("\nlast message %1 s ago").arg((f.nowMs - f.lastTabletMessageAtMs) / 1000);
        if (state.linkLosses > 0)
            text += QStringLiteral(" (lost %1 time(s) this session)").arg(state.linkLosses);
    } else {
        text = QStringLiteral("not connected");
        if (state.linkLosses > 0)
            text += QStringLiteral(" (lost %1 time(s) this session)").arg(state.linkLosses);
    }
    setText(m_link, text);
    const bool lost = state.linkLost && !f.linkConnected;
    m_link->setStyleSheet(lost ? QStringLiteral("color: #d00000;")
                               : (state.linkLosses > 0 ? QStringLiteral("color: #b06000;") : QString()));
    if (lost)
        setText(m_linkAlarm, QStringLiteral("TABLET LINK LOST at %1: pecks on the tablet are not arriving")
                                 .arg(clockText(state.linkLostAtMs - state.startedAtMs)));
    m_linkAlarm->setVisible(lost);
}

} // namespace veltrum::console_qt
