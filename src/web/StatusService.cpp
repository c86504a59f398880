#include "web/StatusService.h"

#include "web/ChamberStatus.h"

#include <QJsonDocument>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace veltrum::web {

namespace {

// How often the figures are published without an event, so the clock and the tablet's last message
// move on in the page.
constexpr int figuresEveryMs = 250;

std::int64_t epochMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

void addPageResources(WebServer& server, const QString& page) {
    server.addPageFile(QStringLiteral("/"), "text/html; charset=utf-8", page + QStringLiteral(".html"));
    server.addPageFile(QStringLiteral("/") + page + QStringLiteral(".js"), "text/javascript; charset=utf-8",
                       page + QStringLiteral(".js"));
    server.addPageFile(QStringLiteral("/view.js"), "text/javascript; charset=utf-8",
                       QStringLiteral("view.js"));
    server.addPageFile(QStringLiteral("/style.css"), "text/css; charset=utf-8", QStringLiteral("style.css"));
    server.addPageFile(QStringLiteral("/icon.svg"), "image/svg+xml", QStringLiteral("icon.svg"));
}

// What the chamber's thread hands the server's: the events since the last look and the latest figures.
// The chamber's thread never waits for it: it only tries the lock, and keeps what it could not hand over
// for its next try. It wakes the server's thread through an event counter (eventfd), a write that never
// blocks, rather than through the server thread's event queue, whose lock that thread holds at times.
struct StatusService::Mailbox {
    Mailbox()
        : wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Mailbox() {
        if (wake >= 0)
            ::close(wake);
    }
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    std::mutex mutex;
    std::vector<PublishedEvent> events;
    std::optional<engine::SessionSnapshot> figures;
    const int wake;
};

// On the server's thread: the status document, kept up to date from the mailbox, and the server.
class StatusService::Hub : public QObject {
public:
    Hub(Mailbox& mailbox, const Limits& limits)
        : m_mailbox(mailbox)
        , m_server(limits)
        , m_woken(mailbox.wake, QSocketNotifier::Read) {
        addPageResources(m_server, QStringLiteral("chamber"));
        m_server.addHandler(QStringLiteral("/status.json"), [this] {
            QJsonObject status = m_status.whole();
            status.insert(QStringLiteral("sentAt"), static_cast<qint64>(epochMs()));
            return Response{200, "application/json", QJsonDocument(status).toJson()};
        });
        m_server.addEventStream(QStringLiteral("/events"), [this] {
            QJsonObject status = m_status.whole();
            status.insert(QStringLiteral("sentAt"), static_cast<qint64>(epochMs()));
            return WebServer::eventMessage("status", compact(status));
        });
        connect(&m_woken, &QSocketNotifier::activated, this, [this] { drain(); });
    }

    WebServer& server() { return m_server; }

private:
    void drain() {
        std::uint64_t wakes = 0;
        while (::read(m_mailbox.wake, &wakes, sizeof wakes) > 0) {
        }
        std::vector<PublishedEvent> events;
        std::optional<engine::SessionSnapshot> figures;
        {
            const std::lock_guard lock(m_mailbox.mutex);
            events.swap(m_mailbox.events);
            figures.swap(m_mailbox.figures);
        }
        QJsonObject update = m_status.take(events, figures);
        if (update.isEmpty())
            return;
        update.insert(QStringLiteral("sentAt"), static_cast<qint64>(epochMs()));
        m_server.broadcast(QStringLiteral("/events"), "update", compact(update));
    }

    Mailbox& m_mailbox;
    WebServer m_server;
    ChamberStatus m_status;
    QSocketNotifier m_woken;
};

class StatusService::ServerThread : public QThread {
public:
    ServerThread(Mailbox& mailbox, Settings settings)
        : m_mailbox(mailbox)
        , m_settings(std::move(settings)) {}

    std::string startListening() {
        std::future<std::string> listening = m_listening.get_future();
        start();
        return listening.get();
    }
    Hub* hub() const { return m_hub; }
    quint16 port() const { return m_port; }

protected:
    void run() override {
        // Started from the chamber's thread, which may run with real-time priority: the server never
        // takes the processor from the chamber.
        sched_param normal{};
        ::pthread_setschedparam(::pthread_self(), SCHED_OTHER, &normal);
        Hub hub(m_mailbox, m_settings.limits);
        const std::string failure = hub.server().listen(m_settings.port, m_settings.allowed);
        m_port = hub.server().port();
        m_hub = failure.empty() ? &hub : nullptr;
        m_listening.set_value(failure);
        if (!failure.empty())
            return;
        exec();
        m_hub = nullptr;
    }

private:
    Mailbox& m_mailbox;
    Settings m_settings;
    std::promise<std::string> m_listening;
    Hub* m_hub = nullptr;
    quint16 m_port = 0;
};

// On the chamber's thread: copies each event into the mailbox as it is published, and the figures a
// moment later (once the handler that published it has returned) and every quarter second.
class StatusService::Publisher : public QObject {
public:
    Publisher(WatchedSession& session, Mailbox& mailbox)
        : m_session(session)
        , m_mailbox(mailbox) {
        m_subscription = m_session.subscribe([this](const engine::SessionEvent& event) { onEvent(event); });
        connect(&m_tick, &QTimer::timeout, this, [this] { publishFigures(); });
        m_tick.start(figuresEveryMs);
        publishFigures();
    }
    ~Publisher() override { m_session.unsubscribe(m_subscription); }

private:
    void onEvent(const engine::SessionEvent& event) {
        m_events.push_back({event, epochMs()});
        hand();
        // The figures follow once the handler that published the event has returned.
        if (!m_figuresPending) {
            m_figuresPending = true;
            QMetaObject::invokeMethod(
                this, [this] { publishFigures(); }, Qt::QueuedConnection);
        }
    }

    void publishFigures() {
        m_figuresPending = false;
        m_figures = m_session.snapshot();
        hand();
    }

    // Hands what is kept to the mailbox if its lock is free this instant; otherwise it is kept for the
    // next event or the next quarter second.
    void hand() {
        if (!m_mailbox.mutex.try_lock())
            return;
        if (m_mailbox.events.empty())
            m_mailbox.events.swap(m_events);
        else
            m_mailbox.events.insert(m_mailbox.events.end(), m_events.begin(), m_events.end());
        m_events.clear();
        if (m_figures)
            m_mailbox.figures = std::move(m_figures);
        m_figures.reset();
        m_mailbox.mutex.unlock();
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_mailbox.wake, &one, sizeof one);
    }

    WatchedSession& m_session;
    Mailbox& m_mailbox;
    engine::SessionEventBus::Subscription m_subscription = 0;
    std::vector<PublishedEvent> m_events;
    std::optional<engine::SessionSnapshot> m_figures;
    QTimer m_tick;
    bool m_figuresPending = false;
};

StatusService::StatusService(WatchedSession& session)
    : m_session(session)
    , m_mailbox(std::make_unique<Mailbox>()) {}

StatusService::~StatusService() {
    // Nothing is published once the server's thread is told to end.
    m_publisher.reset();
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

std::string StatusService::start(const Settings& settings) {
    if (m_thread)
        return "the status page is already served";
    m_thread = std::make_unique<ServerThread>(*m_mailbox, settings);
    const std::string failure = m_thread->startListening();
    if (!failure.empty()) {
        m_thread->wait();
        m_thread.reset();
        return failure;
    }
    m_publisher = std::make_unique<Publisher>(m_session, *m_mailbox);
    return {};
}

quint16 StatusService::port() const {
    return m_thread ? m_thread->port() : 0;
}

WebServer::Counts StatusService::counts() const {
    WebServer::Counts counts;
    if (Hub* hub = m_thread ? m_thread->hub() : nullptr)
        QMetaObject::invokeMethod(
            hub, [hub, &counts] { counts = hub->server().counts(); }, Qt::BlockingQueuedConnection);
    return counts;
}

} // namespace veltrum::web
