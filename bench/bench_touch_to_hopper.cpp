// Time from a tablet's touch message to the hopper's port write, and to the blank display message at the
// tablet: the tablet is a QTcpSocket on loopback, the controller the real main window on the Qt socket
// adapter, trials run in virtual time. A 100 ms timer on the production scheduler runs on the same
// thread throughout and its lateness shows how long the thread was held. Rows are committed by the row
// writer on its own thread, as in the program; at each session's end every row must be in the workbook,
// in order.
//   bench_touch_to_hopper [--with-console] [--slow-commit MS] [--touches N]
// --with-console: the touches are timed without and then with the operator's console open.
// --slow-commit MS: every commit takes MS longer (300 for a share or a busy disk); the touches are timed
//   with rows committed on the chamber's thread, as before the row writer, then on the writer's thread.
// --pace MS: a touch every MS of real time (default: at once, or 50 with --slow-commit).
// --with-watchers: the touches are timed without the status page, with it served and ten clients
//   following its event stream, and with a thousand connections that say nothing and a slowloris client;
//   a touch every 50 ms, and the chamber's thread with real-time priority where permitted, as in the
//   program (the server's thread runs with normal scheduling).
#include "ConsoleLoad.h"
#include "DemoFolder.h"
#include "WatcherLoad.h"
#include "app/RealTime.h"
#include "app/StatusPage.h"
#include "platform/Timer.h"
#include "platform/VirtualScheduler.h"
#include "qt/QtScheduler.h"
#include "qt/QtTabletSocket.h"
#include "records/ThreadCommitRunner.h"
#include "session/crt.h"
#include "support/DiskFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeProgramLifetime.h"
#include "support/ScriptedDialogs.h"
#include "support/SequenceRandom.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/commit/DurableFile.h"

#include <QApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace veltrum;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t hopperPort = 792;
constexpr std::int32_t hopperUp = 2;
constexpr const char* blankMessage = "0,0,0,0,0,0";

// Notes the moment the hopper is raised.
class TimingCard : public platform::IoCard {
public:
    std::int16_t portRead(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
    void portWrite(std::int32_t, std::int32_t port, std::int32_t, std::int32_t value) override {
        if (port == hopperPort && value == hopperUp)
            raisedAt = Clock::now();
    }
    std::optional<Clock::time_point> raisedAt;
};

struct Mode {
    const char* label;
    bool console = false;
    bool writerThread = true;
    int watchers = -1; // -1: no status page; else event-stream clients following it
    int idle = 0;      // connections that say nothing (with a slowloris client)
};

struct Samples {
    std::vector<double> hopperUs;
    std::vector<double> blankUs;
    std::vector<double> tickLateMs;
    std::size_t rows = 0;
    bool rowsInOrder = true;
    int consoleRenders = 0;
    double seconds = 0;
    std::uint64_t streamBytes = 0;
    std::uint64_t refused = 0;
};

// A 100 ms timer on the production scheduler, noting how late each tick came against its ideal time.
class TickWatch {
public:
    TickWatch()
        : m_timer(m_scheduler, "watch", 100) {
        m_timer.setOnTick([this] {
            // Each tick is due one interval after the last was due, or at the first multiple of the
            // interval after the last tick came when ticks were missed (as the timer arms itself).
            const double now = std::chrono::duration<double, std::milli>(Clock::now() - m_enabledAt).count();
            m_due += 100.0;
            while (m_due <= m_lastTick)
                m_due += 100.0;
            late.push_back(now - m_due);
            m_lastTick = now;
        });
        m_enabledAt = Clock::now();
        m_timer.setEnabled(true);
    }
    std::vector<double> late;

private:
    qt::QtScheduler m_scheduler;
    platform::Timer m_timer;
    Clock::time_point m_enabledAt;
    double m_due = 0;
    double m_lastTick = 0;
};

using bench::runEventsUntil;
using bench::spinUntil;

// The rows of the session workbook are the rows the writer committed, with trials and session times
// that never go back.
bool rowsInOrder(const std::string& path, std::size_t committed, std::size_t& rows) {
    const workbook::Workbook book = workbook::Workbook::open(path);
    const workbook::Table table(book, "Data");
    rows = static_cast<std::size_t>(table.recordCount());
    const int trial = table.column("Trial");
    const int time = table.column("SessionTime");
    double lastTrial = 0;
    double lastTime = -1;
    for (int r = 0; r < table.recordCount(); ++r) {
        const double t = table.field(r, trial).number;
        const double s = std::stod(workbook::toDisplayText(table.field(r, time)));
        if (t < lastTrial || s < lastTime)
            return false;
        lastTrial = t;
        lastTime = s;
    }
    return rows == committed;
}

// One "Auto" session of the demo subject with a tablet on loopback; false when it could not run.
bool runSession(const std::string& root, const Mode& mode, std::size_t touches, int paceMs,
                Samples& samples) {
    const bench::DemoFolder demo(root);
    const std::string& data = demo.data;
    const quint16 port = demo.port;

    platform::VirtualScheduler scheduler;
    testing::FakeClock clock{scheduler};
    testing::ScriptedDialogs dialogs;
    testing::DiskFileSystem fileSystem;
    qt::QtTabletSocket socket;
    TimingCard card;
    testing::SequenceRandom random;
    testing::FakeProgramLifetime lifetime;
    records::ThreadCommitRunner commits([](std::function<void()> done) {
        QMetaObject::invokeMethod(qApp, std::move(done), Qt::QueuedConnection);
    });
    session::Services services{scheduler, clock, dialogs, fileSystem, socket, card, random, lifetime, data};
    if (mode.writerThread)
        services.commitRunner = &commits;
    session::crt model(services);
    model.Form_Load();
    std::unique_ptr<bench::ConsoleLoad> console;
    if (mode.console)
        console = std::make_unique<bench::ConsoleLoad>(model.events(), [&model] { return model.snapshot(); });
    app::WatchedCrt watched(model);
    std::unique_ptr<web::StatusService> status;
    std::unique_ptr<bench::WatcherLoad> watchers;
    if (mode.watchers >= 0) {
        status = std::make_unique<web::StatusService>(watched);
        if (!status->start({}).empty())
            return false;
        watchers =
            std::make_unique<bench::WatcherLoad>(status->port(), mode.watchers, mode.idle, mode.idle > 0);
    }
    QTcpSocket tablet;
    tablet.connectToHost(QHostAddress::LocalHost, port);
    tablet.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!runEventsUntil([&] { return socket.state() == platform::TabletSocket::Connected; }))
        return false;
    model.panel.Combo1.select(1);
    model.panel.Command1.click();
    forms::Int16 keyS = 'S';
    model.Form_KeyPress(keyS);

    TickWatch watch;
    std::string received;
    while (model.Form.isVisible() && samples.hopperUs.size() < touches) {
        while (model.Form.isVisible() &&
               !(model.engine().timers().Stimulus.isEnabled() && model.engine().state().FIStatus == 1)) {
            scheduler.advanceBy(10);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        if (!model.Form.isVisible())
            break;
        // The trial's picture message is in before the touch, so only the blank message is waited for.
        received.clear();
        runEventsUntil([&] {
            received += tablet.readAll().toStdString();
            return received.find_first_not_of("0,") != std::string::npos;
        });
        card.raisedAt.reset();
        received.clear();
        std::optional<Clock::time_point> blankAt;
        const auto sentAt = Clock::now();
        tablet.write("2\n");
        tablet.flush();
        // The answer is waited for awake, so the figure is the program's time and not a wake-up's.
        const bool answered = spinUntil([&] {
            if (!blankAt && tablet.bytesAvailable() > 0) {
                received += tablet.readAll().toStdString();
                if (received.find(blankMessage) != std::string::npos)
                    blankAt = Clock::now();
            }
            return card.raisedAt.has_value() && blankAt.has_value();
        });
        if (!answered)
            return false;
        samples.hopperUs.push_back(
            std::chrono::duration<double, std::micro>(*card.raisedAt - sentAt).count());
        samples.blankUs.push_back(std::chrono::duration<double, std::micro>(*blankAt - sentAt).count());
        // The next touch comes paceMs after this one, the thread running its events meanwhile: asleep
        // between them as the program's thread is, awake for the last two milliseconds so the touch is
        // sent, like the tablet's, from another computer's point of view (this thread is both ends).
        const auto next = sentAt + std::chrono::milliseconds(paceMs);
        runEventsUntil([&] { return Clock::now() + std::chrono::milliseconds(2) >= next; });
        spinUntil([&] { return Clock::now() >= next; });
    }
    samples.tickLateMs.insert(samples.tickLateMs.end(), watch.late.begin(), watch.late.end());
    // The session is over or has enough touches: every row must reach the workbook, in order.
    if (!model.rows.settleWaitingRows())
        return false;
    std::size_t rows = 0;
    samples.rowsInOrder =
        rowsInOrder(model.engine().state().NewDataFile, model.rows.committedRowCount(), rows) &&
        samples.rowsInOrder;
    samples.rows += rows;
    if (console)
        samples.consoleRenders += console->renders();
    if (watchers) {
        samples.streamBytes += watchers->bytesRead();
        samples.refused += status->counts().overLimit;
    }
    return true;
}

// The modes take turns, a session of at most a hundred touches each, so what the computer's load does
// over the run falls on every mode alike and the columns differ only by what each mode adds.
std::optional<std::vector<Samples>> measureInTurn(const std::vector<Mode>& modes, std::size_t touches,
                                                  int paceMs) {
    std::vector<Samples> samples(modes.size());
    for (std::size_t done = 0; done < touches;) {
        done = std::min(touches, done + 100);
        for (std::size_t m = 0; m < modes.size(); ++m) {
            const auto began = Clock::now();
            while (samples[m].hopperUs.size() < done) {
                const std::size_t before = samples[m].hopperUs.size();
                if (!runSession(VELTRUM_DEMO_DATA_DIR, modes[m], done, paceMs, samples[m]) ||
                    samples[m].hopperUs.size() == before) {
                    std::fprintf(stderr, "bench_touch_to_hopper: a session gave no rewarded touch\n");
                    return std::nullopt;
                }
            }
            samples[m].seconds += std::chrono::duration<double>(Clock::now() - began).count();
        }
    }
    return samples;
}

double at(std::vector<double> values, double q) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

void print(const std::vector<std::pair<Mode, Samples>>& runs, bool slowCommits) {
    std::printf("\n%-44s", "");
    for (const auto& run : runs)
        std::printf(" %20s", run.first.label);
    const auto row = [&](const char* name, const std::function<double(const Samples&)>& value) {
        std::printf("\n%-44s", name);
        // Microseconds and counts to a tenth, milliseconds to a microsecond.
        const bool ms = std::strstr(name, ", ms") != nullptr;
        for (const auto& run : runs)
            std::printf(ms ? " %20.3f" : " %20.1f", value(run.second));
    };
    row("rewarded touches", [](const Samples& s) { return double(s.hopperUs.size()); });
    row("touch to hopper median, us", [](const Samples& s) { return at(s.hopperUs, 0.5); });
    row(slowCommits ? "touch to hopper p99, us (target <= 500)" : "touch to hopper p99, us (target <= 1000)",
        [](const Samples& s) { return at(s.hopperUs, 0.99); });
    row("touch to hopper max, us", [](const Samples& s) { return at(s.hopperUs, 1.0); });
    row("touch to blank message median, us", [](const Samples& s) { return at(s.blankUs, 0.5); });
    row("touch to blank message p99, us (<= 5000)", [](const Samples& s) { return at(s.blankUs, 0.99); });
    row("100 ms ticks", [](const Samples& s) { return double(s.tickLateMs.size()); });
    row("100 ms tick lateness median, ms", [](const Samples& s) { return at(s.tickLateMs, 0.5); });
    row("100 ms tick lateness p99, ms (target <= 2)",
        [](const Samples& s) { return at(s.tickLateMs, 0.99); });
    row("100 ms tick lateness max, ms", [](const Samples& s) { return at(s.tickLateMs, 1.0); });
    row("rows in the workbooks", [](const Samples& s) { return double(s.rows); });
    row("console repaints per second", [](const Samples& s) { return s.consoleRenders / s.seconds; });
    row("event-stream KB read by the watchers",
        [](const Samples& s) { return double(s.streamBytes) / 1024.0; });
    row("connections refused over the limits", [](const Samples& s) { return double(s.refused); });
    std::printf("\n%-44s", "every row committed, in order");
    for (const auto& run : runs)
        std::printf(" %20s", run.second.rowsInOrder ? "yes" : "NO");
    std::printf("\n");
}

bool met(const Samples& s, bool slowCommits) {
    if (!s.rowsInOrder)
        return false;
    if (!slowCommits)
        return at(s.hopperUs, 0.99) <= 1000.0;
    return at(s.hopperUs, 0.99) <= 500.0 && at(s.blankUs, 0.99) <= 5000.0 && at(s.tickLateMs, 0.99) <= 2.0;
}

} // namespace

int main(int argc, char** argv) {
    bool withConsole = false;
    bool withWatchers = false;
    int slowCommitMs = 0;
    std::size_t touches = 1000;
    int paceMs = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-console") == 0) {
            withConsole = true;
        } else if (std::strcmp(argv[i], "--with-watchers") == 0) {
            withWatchers = true;
        } else if (std::strcmp(argv[i], "--slow-commit") == 0 && i + 1 < argc) {
            slowCommitMs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--pace") == 0 && i + 1 < argc) {
            paceMs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--touches") == 0 && i + 1 < argc) {
            touches = static_cast<std::size_t>(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: bench_touch_to_hopper [--with-console] [--with-watchers] [--slow-commit MS] "
                         "[--touches N] [--pace MS]\n");
            return 2;
        }
    }
    // Touches as fast as they are answered, or with slow commits one every 50 ms (a tablet pecked 20 times
    // a second), so the commits of many rows overlap the session in real time.
    if (paceMs < 0)
        paceMs = slowCommitMs > 0 || withWatchers ? 50 : 0;
    if (withWatchers)
        std::printf("%s\n", app::useRealTimeScheduling().c_str());
    if (slowCommitMs > 0) {
        // The fault hook runs before each step of a commit; the wait goes before the file is written.
        workbook::setCommitFaultHook([slowCommitMs](workbook::CommitStep step) {
            if (step == workbook::CommitStep::Fsync)
                std::this_thread::sleep_for(std::chrono::milliseconds(slowCommitMs));
            return false;
        });
        std::printf("every commit takes %d ms longer\n", slowCommitMs);
    }
    if (withConsole && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application = withConsole
                                                        ? std::make_unique<QApplication>(argc, argv)
                                                        : std::make_unique<QCoreApplication>(argc, argv);
    std::vector<Mode> modes;
    if (slowCommitMs > 0)
        modes.push_back({"rows on chamber", false, false});
    modes.push_back({withConsole    ? "without console"
                     : withWatchers ? "no status page"
                                    : "row writer",
                     false, true});
    if (withConsole)
        modes.push_back({"with console", true, true});
    if (withWatchers) {
        modes.push_back({"10 watchers", false, true, 10, 0});
        modes.push_back({"1000 idle+slowloris", false, true, 0, 1000});
    }
    const std::optional<std::vector<Samples>> samples = measureInTurn(modes, touches, paceMs);
    if (!samples)
        return 1;
    std::vector<std::pair<Mode, Samples>> runs;
    for (std::size_t m = 0; m < modes.size(); ++m)
        runs.emplace_back(modes[m], (*samples)[m]);
    print(runs, slowCommitMs > 0);
    bool ok = true;
    for (const auto& run : runs)
        if (run.first.writerThread && !met(run.second, slowCommitMs > 0))
            ok = false;
    std::printf("targets (runs with the row writer): %s\n", ok ? "met" : "NOT met");
    return ok ? 0 : 1;
}
