// The chamber's session served read-only over HTTP: a page for people, a JSON document and an event
// stream for scripts. The server runs on a thread of its own; the chamber's thread only publishes: each
// session event, and the figures a moment after it and four times a second, are copied into a
// mutex-guarded mailbox (the lock only tried, never waited for) and the server's thread is woken. Nothing
// the server does, and no client however slow or hostile, waits on the chamber's thread or runs inside
// the trial cycle.
#pragma once

#include "engine/SessionEvents.h"
#include "engine/SessionSnapshot.h"
#include "qt/HostAllowList.h"
#include "web/WebServer.h"

#include <QtGlobal>

#include <memory>
#include <string>

namespace veltrum::web {

// The session the status page shows, as the chamber's thread offers it: its events as they happen and
// its figures when asked.
class WatchedSession {
public:
    virtual ~WatchedSession() = default;
    virtual engine::SessionEventBus::Subscription subscribe(engine::SessionEventListener listener) = 0;
    virtual void unsubscribe(engine::SessionEventBus::Subscription subscription) = 0;
    virtual engine::SessionSnapshot snapshot() const = 0;
};

class StatusService {
public:
    struct Settings {
        quint16 port = 0; // 0: one the system chooses (tests)
        qt::HostAllowList allowed;
        Limits limits;
    };

    // Made and used on the chamber's thread; the session must outlive the service.
    explicit StatusService(WatchedSession& session);
    ~StatusService();
    StatusService(const StatusService&) = delete;
    StatusService& operator=(const StatusService&) = delete;

    // Starts the server's thread and listens, waiting for it to say whether it could (at start-up, before
    // any session). Returns why it could not, or "" once the session is being served.
    std::string start(const Settings& settings);
    quint16 port() const;
    // What the server refused and serves now, asked of its thread (tests and benchmarks).
    WebServer::Counts counts() const;

private:
    class Hub;
    class Publisher;
    class ServerThread;
    struct Mailbox;

    WatchedSession& m_session;
    std::unique_ptr<Mailbox> m_mailbox;
    std::unique_ptr<ServerThread> m_thread;
    std::unique_ptr<Publisher> m_publisher;
};

// The pages compiled into the program, by path ("/", "/view.js", ...), each with its content type.
void addPageResources(WebServer& server, const QString& page);

} // namespace veltrum::web
