// Time from a tablet's touch message to the hopper's port write: the tablet is a QTcpSocket on loopback,
// the controller the real main window on the Qt socket adapter, trials run in virtual time.
#include "platform/VirtualScheduler.h"
#include "qt/QtTabletSocket.h"
#include "session/crt.h"
#include "support/DiskFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeProgramLifetime.h"
#include "support/ScriptedDialogs.h"
#include "support/SequenceRandom.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
std::vector<double> runSession(const std::string& root) {
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
    return latencies;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::vector<double> latencies;
    while (latencies.size() < 1000) {
        const std::vector<double> session = runSession(VELTRUM_DEMO_DATA_DIR);
        if (session.empty()) {
            std::fprintf(stderr, "bench_touch_to_hopper: a session gave no rewarded touch\n");
            return 1;
        }
        latencies.insert(latencies.end(), session.begin(), session.end());
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * (latencies.size() - 1))]; };
    std::printf("rewarded touches %zu\n", latencies.size());
    std::printf("touch to hopper write: median %.1f us, p99 %.1f us, max %.1f us (target p99 <= 1000 us)\n",
                at(0.5), at(0.99), latencies.back());
    return at(0.99) <= 1000.0 ? 0 : 1;
}
