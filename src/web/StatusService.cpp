#include "web/StatusService.h"

#include "web/ChamberStatus.h"

#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QTimer>

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

QByteArray resource(const QString& name) {
    QFile file(QStringLiteral(":/veltrum/web/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

void addPageResources(WebServer& server, const QString& page) {
    server.addResource(QStringLiteral("/"), "text/html; charset=utf-8", resource(page + QStringLiteral(".html")));
    server.addResource(QStringLiteral("/") + page + QStringLiteral(".js"), "text/javascript; charset=utf-8",
                       resource(page + QStringLiteral(".js")));
    server.addResource(QStringLiteral("/view.js"), "text/javascript; charset=utf-8",
                       resource(QStringLiteral("view.js")));
    server.addResource(QStringLiteral("/style.css"), "text/css; charset=utf-8",
                       resource(QStringLiteral("style.css")));
    server.addResource(QStringLiteral("/icon.svg"), "image/svg+xml", resource(QStringLiteral("icon.svg")));
}

// What the chamber's thread hands the server's: the events since the last look and the latest figures.
struct StatusService::Mailbox {
    std::mutex mutex;
    std::vector<PublishedEvent> events;
    std::optional<engine::SessionSnapshot> figures;
    bool wakePosted = false;
};

// On the server's thread: the status document, kept up to date from the mailbox, and the server.
class StatusService::Hub : public QObject {
public:
    Hub(Mailbox& mailbox, const Limits& limits)
        : m_mailbox(mailbox)
        , m_server(limits) {
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
    }

    WebServer& server() { return m_server; }

    void drain() {
        std::vector<PublishedEvent> events;
        std::optional<engine::SessionSnapshot> figures;
        {
            const std::lock_guard lock(m_mailbox.mutex);
            events.swap(m_mailbox.events);
            figures.swap(m_mailbox.figures);
            m_mailbox.wakePosted = false;
        }
        QJsonObject update = m_status.take(events, figures);
        if (update.isEmpty())
            return;
        update.insert(QStringLiteral("sentAt"), static_cast<qint64>(epochMs()));
        m_server.broadcast(QStringLiteral("/events"), "update", compact(update));
    }

private:
    Mailbox& m_mailbox;
    WebServer m_server;
    ChamberStatus m_status;
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
    Publisher(WatchedSession& session, Mailbox& mailbox, Hub& hub)
        : m_session(session)
        , m_mailbox(mailbox)
        , m_hub(hub) {
        m_subscription = m_session.subscribe([this](const engine::SessionEvent& event) { onEvent(event); });
        connect(&m_tick, &QTimer::timeout, this, [this] { publishFigures(); });
        m_tick.start(figuresEveryMs);
        publishFigures();
    }
    ~Publisher() override { m_session.unsubscribe(m_subscription); }

private:
    void onEvent(const engine::SessionEvent& event) {
        bool wake = false;
        {
            const std::lock_guard lock(m_mailbox.mutex);
            m_mailbox.events.push_back({event, epochMs()});
            wake = !std::exchange(m_mailbox.wakePosted, true);
        }
        if (wake)
            wakeHub();
        if (!m_figuresPending) {
            m_figuresPending = true;
            QMetaObject::invokeMethod(this, [this] { publishFigures(); }, Qt::QueuedConnection);
        }
    }

    void publishFigures() {
        m_figuresPending = false;
        engine::SessionSnapshot figures = m_session.snapshot();
        bool wake = false;
        {
            const std::lock_guard lock(m_mailbox.mutex);
            m_mailbox.figures = std::move(figures);
            wake = !std::exchange(m_mailbox.wakePosted, true);
        }
        if (wake)
            wakeHub();
    }

    void wakeHub() {
        Hub* hub = &m_hub;
        QMetaObject::invokeMethod(hub, [hub] { hub->drain(); }, Qt::QueuedConnection);
    }

    WatchedSession& m_session;
    Mailbox& m_mailbox;
    Hub& m_hub;
    engine::SessionEventBus::Subscription m_subscription = 0;
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
    m_publisher = std::make_unique<Publisher>(m_session, *m_mailbox, *m_thread->hub());
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
