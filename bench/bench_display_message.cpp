// Time from a trial's start to the tablet receiving that trial's display message: the controller is the
// real main window on the Qt socket adapter, trials run in virtual time (each stimulus period times out),
// and the tablet is a QTcpSocket on loopback read in a thread of its own, so each arrival is timed the
// moment the bytes reach it. With --with-views the 500 trials are timed twice, without and then with the
// stimulus screen's window and the operator's console rendering the session, side by side.
//   bench_display_message [--with-views]
#include "ConsoleLoad.h"
#include "DemoFolder.h"
#include "platform/VirtualScheduler.h"
#include "qt/CrtWindow.h"
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
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace veltrum;
using Clock = std::chrono::steady_clock;

constexpr std::size_t trialsWanted = 500;

// The real socket adapter, counting the bytes the session hands it and noting when the last send returned.
class CountingSocket : public qt::QtTabletSocket {
public:
    void send(const std::string& bytes) override {
        qt::QtTabletSocket::send(bytes);
        sentBytes += bytes.size();
        sentAt = Clock::now();
    }
    std::size_t sentBytes = 0;
    Clock::time_point sentAt;
};

class QuietCard : public platform::IoCard {
public:
    std::int16_t portRead(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
    void portWrite(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
};

// The tablet: connects, then reads in a blocking loop, noting the total bytes received after each read and
// when that read returned.
class LoopbackTablet {
public:
    explicit LoopbackTablet(quint16 port)
        : m_thread([this, port] { run(port); }) {}
    ~LoopbackTablet() {
        m_stop = true;
        m_thread.join();
    }
    bool connected() const { return m_connected; }
    std::size_t receivedBytes() const { return m_received; }
    // The moment the total received first reached `bytes`; nullopt while it has not.
    std::optional<Clock::time_point> reached(std::size_t bytes) const {
        const std::lock_guard lock(m_mutex);
        for (const auto& [total, at] : m_arrivals)
            if (total >= bytes)
                return at;
        return std::nullopt;
    }

private:
    void run(quint16 port) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(5000))
            return;
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connected = true;
        while (!m_stop && socket.state() == QAbstractSocket::ConnectedState) {
            if (!socket.waitForReadyRead(50))
                continue;
            const Clock::time_point at = Clock::now();
            const std::size_t total = m_received + static_cast<std::size_t>(socket.readAll().size());
            const std::lock_guard lock(m_mutex);
            m_arrivals.emplace_back(total, at);
            m_received = total;
        }
    }

    mutable std::mutex m_mutex;
    std::vector<std::pair<std::size_t, Clock::time_point>> m_arrivals;
    std::atomic<std::size_t> m_received = 0;
    std::atomic<bool> m_connected = false;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

using bench::spinUntil;

struct Sample {
    double toSend = 0;    // trial start to the send returning, us
    double toArrival = 0; // trial start to the tablet's read returning, us
};

// One "Auto" session of the demo subject; appends a sample per trial whose display went to the tablet.
bool runSession(const std::string& root, bool withViews, std::vector<Sample>& samples) {
    const bench::DemoFolder demo(root);
    const std::string& data = demo.data;
    const quint16 port = demo.port;

    platform::VirtualScheduler scheduler;
    testing::FakeClock clock{scheduler};
    testing::ScriptedDialogs dialogs;
    testing::DiskFileSystem fileSystem;
    CountingSocket socket;
    QuietCard card;
    testing::SequenceRandom random;
    testing::FakeProgramLifetime lifetime;
    session::crt model(
        session::Services{scheduler, clock, dialogs, fileSystem, socket, card, random, lifetime, data});
    model.Form_Load();
    std::unique_ptr<qt::CrtWindow> window;
    std::unique_ptr<bench::ConsoleLoad> console;
    if (withViews) {
        window = std::make_unique<qt::CrtWindow>(model);
        window->showWindow();
        console = std::make_unique<bench::ConsoleLoad>(model.events(), [&model] { return model.snapshot(); });
    }
    std::optional<Clock::time_point> trialBegan;
    const auto subscription = model.events().subscribe([&](const engine::SessionEvent& event) {
        if (event.kind == engine::SessionEventKind::TrialBegun)
            trialBegan = Clock::now();
    });
    LoopbackTablet tablet(port);
    if (!spinUntil([&] { return tablet.connected() && socket.state() == platform::TabletSocket::Connected; }))
        return false;
    model.panel.Combo1.select(1);
    model.panel.Command1.click();
    forms::Int16 keyS = 'S';
    model.Form_KeyPress(keyS);

    bool ok = true;
    while (model.Form.isVisible() && ok) {
        trialBegan.reset();
        const std::size_t sentBefore = socket.sentBytes;
        scheduler.advanceBy(10);
        // Every byte sent so far has arrived before time moves on, so no two messages share a read.
        ok = spinUntil([&] { return tablet.receivedBytes() >= socket.sentBytes; });
        if (!ok || !trialBegan || socket.sentBytes == sentBefore)
            continue;
        const std::optional<Clock::time_point> arrived = tablet.reached(socket.sentBytes);
        samples.push_back({std::chrono::duration<double, std::micro>(socket.sentAt - *trialBegan).count(),
                           std::chrono::duration<double, std::micro>(*arrived - *trialBegan).count()});
    }
    model.events().unsubscribe(subscription);
    return ok;
}

struct Figures {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Figures figuresOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[static_cast<std::size_t>(q * (values.size() - 1))]; };
    return {at(0.5), at(0.99), values.back()};
}

struct Run {
    std::size_t trials = 0;
    Figures toSend;
    Figures toArrival;
};

std::optional<Run> measure(bool withViews) {
    std::vector<Sample> samples;
    while (samples.size() < trialsWanted) {
        const std::size_t before = samples.size();
        if (!runSession(VELTRUM_DEMO_DATA_DIR, withViews, samples) || samples.size() == before) {
            std::fprintf(stderr, "bench_display_message: a session's display messages did not arrive\n");
            return std::nullopt;
        }
    }
    std::vector<double> toSend;
    std::vector<double> toArrival;
    for (const Sample& sample : samples) {
        toSend.push_back(sample.toSend);
        toArrival.push_back(sample.toArrival);
    }
    return Run{samples.size(), figuresOf(toSend), figuresOf(toArrival)};
}

constexpr double targetP99Us = 2000.0;

// The offscreen platform says for every window shown that it cannot pass size hints on; nothing else is
// dropped.
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.contains(QStringLiteral("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

void printRun(const char* title, const Run& run) {
    std::printf("%s: %zu trials\n", title, run.trials);
    std::printf("  trial start to send:            median %7.1f us, p99 %7.1f us, max %8.1f us\n",
                run.toSend.median, run.toSend.p99, run.toSend.max);
    std::printf("  trial start to tablet's read:   median %7.1f us, p99 %7.1f us, max %8.1f us "
                "(target p99 <= %.0f us: %s)\n",
                run.toArrival.median, run.toArrival.p99, run.toArrival.max, targetP99Us,
                run.toArrival.p99 <= targetP99Us ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv) {
    bool withViews = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-views") == 0) {
            withViews = true;
        } else {
            std::fprintf(stderr, "usage: bench_display_message [--with-views]\n");
            return 2;
        }
    }
    if (withViews && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietOffscreen);
    std::unique_ptr<QCoreApplication> application = withViews
                                                        ? std::make_unique<QApplication>(argc, argv)
                                                        : std::make_unique<QCoreApplication>(argc, argv);
    const std::optional<Run> without = measure(false);
    if (!without)
        return 1;
    printRun("model only", *without);
    if (!withViews)
        return without->toArrival.p99 <= targetP99Us ? 0 : 1;
    const std::optional<Run> with = measure(true);
    if (!with)
        return 1;
    printRun("with the stimulus screen and the console", *with);
    return without->toArrival.p99 <= targetP99Us && with->toArrival.p99 <= targetP99Us ? 0 : 1;
}
