#include "app/Application.h"

#include "app/Allocator.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"
#include "app/IoCardChoice.h"
#include "app/RealTime.h"
#include "app/SessionViews.h"
#include "app/StatusPage.h"
#include "app/TabletPage.h"
#include "platform/LocalFileSystem.h"
#include "qt/CrtWindow.h"
#include "qt/FailureReport.h"
#include "qt/Form1Window.h"
#include "qt/QtDialogs.h"
#include "qt/QtProgramLifetime.h"
#include "qt/QtScheduler.h"
#include "qt/QtTabletSocket.h"
#include "qt/SystemClock.h"
#include "qt/SystemRandom.h"
#include "records/ThreadCommitRunner.h"
#include "session/Form1.h"
#include "session/crt.h"
#include "web/TabletPage.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <utility>

namespace veltrum::app {

namespace {

void showCritical(QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QCoreApplication::applicationName(), message);
}

// Shows handler failures one box at a time. Timers keep running while a box is open, so a handler that
// fails on every tick would otherwise stack a new box each time; those repeats are counted instead.
class FailureBoxes {
public:
    explicit FailureBoxes(QWidget* parent)
        : m_parent(parent) {}

    void report(const QString& message) {
        std::fprintf(stderr, "veltrum: %s\n", qUtf8Printable(message));
        if (m_open) {
            ++m_suppressed;
            return;
        }
        m_open = true;
        showCritical(m_parent, message);
        while (m_suppressed > 0) {
            const int more = std::exchange(m_suppressed, 0);
            showCritical(m_parent,
                         QStringLiteral("%1 more failure(s) occurred while the last message was open; "
                                        "each is also printed on the console.")
                             .arg(more));
        }
        m_open = false;
    }

private:
    QPointer<QWidget> m_parent;
    bool m_open = false;
    int m_suppressed = 0;
};

// Prints when the panel was first on screen, on the system-wide monotonic clock, for the start-up bench.
void reportShownAndQuit() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("shown-at-steady-ns %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

// Once a minute, how late the chamber's timers ran: a lab can see whether the machine keeps time.
void logTimingOnceAMinute(QTimer& timer, qt::QtScheduler& scheduler) {
    scheduler.takeLateness();
    QObject::connect(&timer, &QTimer::timeout, [&scheduler, minute = 0]() mutable {
        const qt::QtScheduler::Lateness late = scheduler.takeLateness();
        const QString at =
            late.tasks == 0
                ? QStringLiteral("-")
                : QDateTime::fromMSecsSinceEpoch(late.latestAtMs).toString(QStringLiteral("HH:mm:ss.zzz"));
        std::fprintf(stderr,
                     "veltrum-timing: minute %d: %zu timer tasks, the latest ran %.1f ms after its time "
                     "(at %s), %zu more than 20 ms late\n",
                     ++minute, late.tasks, static_cast<double>(late.latestUs) / 1000.0, qUtf8Printable(at),
                     late.over20Ms);
    });
    timer.start(60'000);
}

// Start-up cannot go on: the message on the terminal and in a box, and the failure sink let go.
int refuseToRun(const QString& message) {
    qt::setFailureSink({});
    std::fprintf(stderr, "veltrum: %s\n", qUtf8Printable(message));
    showCritical(nullptr, message);
    return 1;
}

// The exit status when the command line (or its --help) or a missing data folder ends the program
// before it starts, else nothing.
std::optional<int> stopBeforeStart(const CommandLine& options) {
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s", qUtf8Printable(options.error), qUtf8Printable(options.helpText));
        return 2;
    }
    if (options.showHelp) {
        std::printf("%s", qUtf8Printable(options.helpText));
        return 0;
    }
    if (!QFileInfo(options.dataFolder).isDir())
        return refuseToRun(missingDataFolderMessage(QDir(options.dataFolder).absolutePath()));
    return std::nullopt;
}

// The status page's port and who may open it, and the tablet page's port, settled before anything else
// starts.
struct WebPorts {
    web::StatusService::Settings status;
    bool serveStatus = false;
    std::optional<quint16> tabletPagePort;
};

// The exit status when the options or files cannot be used, else nothing.
std::optional<int> settleWebPorts(const CommandLine& options, WebPorts& ports) {
    try {
        std::vector<std::string> addresses;
        for (const QString& address : options.statusAddresses)
            addresses.push_back(address.toStdString());
        ports.status.allowed = qt::HostAllowList(addresses);
        if (options.statusPort > 0) {
            ports.status.port = static_cast<quint16>(options.statusPort);
            ports.serveStatus = true;
        } else if (const std::optional<quint16> port = readStatusPortFile(options.dataFolder)) {
            ports.status.port = *port;
            ports.serveStatus = true;
        }
        if (options.tabletPagePort > 0)
            ports.tabletPagePort = static_cast<quint16>(options.tabletPagePort);
        else
            ports.tabletPagePort = readTabletPagePortFile(options.dataFolder);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "veltrum: --status-address: %s.\n", error.what());
        return 2;
    } catch (const std::runtime_error& error) {
        return refuseToRun(QString::fromUtf8(error.what()));
    }
    return std::nullopt;
}

// Starts the status page and says where it is; the message to refuse with when it cannot start.
std::optional<QString> startStatusPage(web::StatusService& statusPage,
                                       const web::StatusService::Settings& settings) {
    const std::string failure = statusPage.start(settings);
    if (!failure.empty())
        return QStringLiteral(
                   "Cannot serve the session's status page on port %1: %2. Close the program using "
                   "that port or choose another one in StatusPort.txt or with --status-port.")
            .arg(settings.port)
            .arg(QString::fromStdString(failure));
    std::fprintf(stderr, "veltrum: %s\n", statusPageNotice(statusPage.port(), settings.allowed).c_str());
    return std::nullopt;
}

// Starts the tablet page for the hosts that may be the tablet; the message to refuse with when it cannot.
std::optional<QString> startTabletPage(web::TabletPageService& tabletPage, quint16 port,
                                       qt::QtTabletSocket& socket, const QString& dataFolder) {
    web::TabletPageService::Settings pageSettings;
    pageSettings.port = port;
    pageSettings.allowed = socket.allowedPeers();
    pageSettings.imageFolder = QDir(dataFolder).absoluteFilePath(QStringLiteral("Images")).toStdString();
    const std::string failure =
        tabletPage.start(pageSettings, [&socket](qintptr descriptor, const QByteArray& request) {
            QMetaObject::invokeMethod(
                &socket, [&socket, descriptor, request] { socket.adoptBrowser(descriptor, request); },
                Qt::QueuedConnection);
        });
    if (!failure.empty())
        return QStringLiteral(
                   "Cannot serve the tablet page on port %1: %2. Close the program using that port "
                   "or choose another one in TabletPagePort.txt or with --tablet-page-port.")
            .arg(port)
            .arg(QString::fromStdString(failure));
    std::fprintf(stderr, "veltrum: %s\n", tabletPageNotice(tabletPage.port(), pageSettings.allowed).c_str());
    return std::nullopt;
}

} // namespace

int Application::run(const QStringList& arguments) {
    QCoreApplication::setApplicationName(QStringLiteral("Veltrum"));
    keepLargeBlocksInTheHeap();
    const CommandLine options =
        parseCommandLine(arguments, defaultDataFolder(programFolder(), QDir::homePath()));
    if (const std::optional<int> stopped = stopBeforeStart(options))
        return *stopped;
    WebPorts ports;
    if (const std::optional<int> refused = settleWebPorts(options, ports))
        return *refused;

    qt::QtScheduler scheduler;
    qt::SystemClock clock;
    qt::QtDialogs dialogs;
    platform::LocalFileSystem fileSystem;
    qt::QtTabletSocket socket;
    std::unique_ptr<platform::IoCard> ioCard;
    try {
        ioCard = makeIoCard(options.ioCard, options.dataFolder, scheduler);
    } catch (const std::exception& failure) {
        return refuseToRun(QString::fromUtf8(failure.what()));
    }
    qt::SystemRandom random =
        options.seed >= 0 ? qt::SystemRandom(static_cast<std::uint32_t>(options.seed)) : qt::SystemRandom();
    qt::QtProgramLifetime lifetime;
    session::Services services{scheduler,  clock,    dialogs,
                               fileSystem, socket,   *ioCard,
                               random,     lifetime, QDir(options.dataFolder).absolutePath().toStdString()};
    for (const QString& address : options.tabletAddresses)
        services.allowedTablets.push_back(address.toStdString());
    // Trial rows are committed on a thread of their own; each commit's outcome comes back to this thread
    // through the event loop. The runner outlives the window model, whose writer it serves.
    records::ThreadCommitRunner commits([](std::function<void()> done) {
        QMetaObject::invokeMethod(qApp, std::move(done), Qt::QueuedConnection);
    });
    services.commitRunner = &commits;
    // Each row is durable in the session's journal at once; the workbook follows every two seconds, so
    // its cost does not grow with the session and it is never more than a few seconds behind.
    services.rowsToWorkbookEveryMs = 2000;
    session::crt model(services);
    qt::CrtWindow window(model);
    dialogs.setParent(&window);
    FailureBoxes failureBoxes(&window);
    qt::setFailureSink([&failureBoxes](const QString& message) { failureBoxes.report(message); });
    SessionViews views(model, window, {options.console, options.history});
    returnFreedBlocksOnceTheSessionStarts(model.events());

    // The summary window opens once, when the session ends; its view is destroyed before its model.
    std::unique_ptr<session::Form1> summaryModel;
    std::unique_ptr<qt::Form1Window> summaryWindow;
    model.setSummaryWindowOpener([&] {
        summaryModel = std::make_unique<session::Form1>(model.endedSession(), services);
        summaryWindow = std::make_unique<qt::Form1Window>(*summaryModel);
        dialogs.setParent(summaryWindow.get());
        qt::runGuarded([&] { summaryModel->Form_Load(); });
        summaryWindow->showWindow();
        views.summaryOpened(*summaryWindow);
    });

    try {
        model.Form_Load();
    } catch (const std::exception& failure) {
        // Start-up failed: one message, and the half-loaded window is never shown.
        return refuseToRun(QString::fromUtf8(failure.what()));
    }
    if (lifetime.hasEnded())
        return lifetime.exitCode();

    // Served from a thread of its own; the chamber's thread only publishes to it.
    WatchedCrt watched(model);
    web::StatusService statusPage(watched);
    if (ports.serveStatus)
        if (const std::optional<QString> failure = startStatusPage(statusPage, ports.status))
            return refuseToRun(*failure);

    // The tablet page, served from a thread of its own to the hosts that may be the tablet; the link a
    // page opens is handed to the tablet socket on this thread, where it is the tablet.
    web::TabletPageService tabletPage;
    if (ports.tabletPagePort)
        if (const std::optional<QString> failure =
                startTabletPage(tabletPage, *ports.tabletPagePort, socket, options.dataFolder))
            return refuseToRun(*failure);

    if (options.exitWhenShown)
        window.setOnFirstPaint(reportShownAndQuit);
    window.showWindow();
    views.panelShown();
    if (options.realTime)
        std::fprintf(stderr, "veltrum: %s\n", useRealTimeScheduling().c_str());
    QTimer timingLog;
    if (options.timingLog)
        logTimingOnceAMinute(timingLog, scheduler);
    const int status = QApplication::exec();
    qt::setFailureSink({});
    return status;
}

} // namespace veltrum::app
