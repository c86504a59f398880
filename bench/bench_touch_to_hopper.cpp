// Time from a tablet's touch message to the hopper's port write: the tablet is a QTcpSocket on loopback,
// the controller the real main window on the Qt socket adapter, trials run in virtual time.
// With --with-console the 1,000 touches are timed twice, without and then with the operator's console
// open on the session, and the two are printed side by side.
//   bench_touch_to_hopper [--with-console]
#include "ConsoleLoad.h"
#include "platform/VirtualScheduler.h"
#include "qt/QtTabletSocket.h"
#include "session/crt.h"
#include "support/DiskFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeProgramLifetime.h"
#include "support/ScriptedDialogs.h"
#include "support/SequenceRandom.h"

#include <QApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace veltrum;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t hopperPort = 792;
constexpr std::int32_t hopperUp = 2;

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

bool spinUntil(const std::function<bool()>& done) {
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (Clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

// One "Auto" session of the demo subject with a tablet on loopback; returns the latency of each reward.
std::vector<double> runSession(const std::string& root, bool withConsole, int& consoleRenders) {
    QTemporaryDir folder;
    const std::string data = folder.path().toStdString() + "/Veltrum";
    std::filesystem::copy(root, data, std::filesystem::copy_options::recursive);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    std::ofstream(data + "/PortNumber.txt", std::ios::trunc) << port << "\r\n";

    platform::VirtualScheduler scheduler;
    testing::FakeClock clock{scheduler};
    testing::ScriptedDialogs dialogs;
    testing::DiskFileSystem fileSystem;
    qt::QtTabletSocket socket;
    TimingCard card;
    testing::SequenceRandom random;
    testing::FakeProgramLifetime lifetime;
    session::crt model(
        session::Services{scheduler, clock, dialogs, fileSystem, socket, card, random, lifetime, data});
    model.Form_Load();
    std::unique_ptr<bench::ConsoleLoad> console;
    if (withConsole)
        console = std::make_unique<bench::ConsoleLoad>(model.events(), [&model] { return model.snapshot(); });
    QTcpSocket tablet;
    tablet.connectToHost(QHostAddress::LocalHost, port);
    tablet.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!spinUntil([&] { return socket.state() == platform::TabletSocket::Connected; }))
        return {};
    model.Combo1.select(1);
    model.Command1.click();
    forms::Int16 keyS = 'S';
    model.Form_KeyPress(keyS);

    std::vector<double> latencies;
    while (model.Form.isVisible()) {
        while (model.Form.isVisible() && !(model.Stimulus.isEnabled() && model.sessionState().FIStatus == 1))
            scheduler.advanceBy(10);
        if (!model.Form.isVisible())
            break;
        card.raisedAt.reset();
        const auto sentAt = Clock::now();
        tablet.write("2\n");
        tablet.flush();
        if (!spinUntil([&] { return card.raisedAt.has_value(); }))
            break;
        latencies.push_back(std::chrono::duration<double, std::micro>(*card.raisedAt - sentAt).count());
        tablet.readAll();
    }
    if (console)
        consoleRenders += console->renders();
    return latencies;
}

struct Figures {
    double median = 0;
    double p99 = 0;
    double max = 0;
    std::size_t touches = 0;
    int consoleRenders = 0;
    double seconds = 0;
};

// 1,000 rewarded touches or more, over as many sessions as that takes; empty when a session failed.
std::optional<Figures> measure(bool withConsole) {
    std::vector<double> latencies;
    Figures figures;
    const auto began = Clock::now();
    while (latencies.size() < 1000) {
        const std::vector<double> session =
            runSession(VELTRUM_DEMO_DATA_DIR, withConsole, figures.consoleRenders);
        if (session.empty()) {
            std::fprintf(stderr, "bench_touch_to_hopper: a session gave no rewarded touch\n");
            return std::nullopt;
        }
        latencies.insert(latencies.end(), session.begin(), session.end());
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * (latencies.size() - 1))]; };
    figures.median = at(0.5);
    figures.p99 = at(0.99);
    figures.max = latencies.back();
    figures.touches = latencies.size();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    bool withConsole = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-console") == 0) {
            withConsole = true;
        } else {
            std::fprintf(stderr, "usage: bench_touch_to_hopper [--with-console]\n");
            return 2;
        }
    }
    if (withConsole && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application = withConsole
                                                        ? std::make_unique<QApplication>(argc, argv)
                                                        : std::make_unique<QCoreApplication>(argc, argv);
    const std::optional<Figures> without = measure(false);
    if (!without)
        return 1;
    std::printf("rewarded touches %zu\n", without->touches);
    std::printf("touch to hopper write: median %.1f us, p99 %.1f us, max %.1f us (target p99 <= 1000 us)\n",
                without->median, without->p99, without->max);
    if (!withConsole)
        return without->p99 <= 1000.0 ? 0 : 1;
    const std::optional<Figures> with = measure(true);
    if (!with)
        return 1;
    std::printf("\n%-40s %14s %14s\n", "touch to hopper write", "without", "with console");
    std::printf("%-40s %14zu %14zu\n", "rewarded touches", without->touches, with->touches);
    std::printf("%-40s %14.1f %14.1f\n", "median, us", without->median, with->median);
    std::printf("%-40s %14.1f %14.1f\n", "p99, us", without->p99, with->p99);
    std::printf("%-40s %14.1f %14.1f\n", "max, us", without->max, with->max);
    std::printf("%-40s %14s %14.1f\n", "console repaints per second", "-",
                with->consoleRenders / with->seconds);
    std::printf("%-40s %14s %14s\n", "target p99 <= 1000 us", without->p99 <= 1000.0 ? "met" : "NOT met",
                with->p99 <= 1000.0 ? "met" : "NOT met");
    return without->p99 <= 1000.0 && with->p99 <= 1000.0 ? 0 : 1;
}
