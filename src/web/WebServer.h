// A small read-only HTTP server for the program's pages, bounded in every way a client could abuse: how
// many connections in all and per address, how large and how slow a request may be, how long a
// connection may sit idle, how many event-stream clients there are and how far each may fall behind.
// It answers only the paths it was given (a page's own resources, JSON documents, event streams);
// nothing reaches the file system. Requests are parsed by Qt's HTTP server; every response carries a
// Content-Security-Policy that lets a page run only its own script and style.
//
// The server and everything it calls run on the thread it lives on; nothing of it is shared.
// More pages are more paths; an endpoint of another kind (a WebSocket carrying a tablet's display and
// touches) is added beside the event streams, and a connection it takes over leaves these limits for its
// own.
#pragma once

#include "qt/HostAllowList.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QTimer>
#include <QtHttpServer/QAbstractHttpServer>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QTcpSocket;

namespace veltrum::web {

struct Limits {
    int connections = 64;           // open at once, in all
    int connectionsPerAddress = 16; // open at once from one address
    qint64 requestBytes = 16 * 1024;
    int requestMs = 10'000; // from a request's first byte to its last
    int idleMs = 30'000;    // a connection with no request under way
    int requestsPerConnection = 1000;
    int eventStreams = 32;                   // event-stream clients at once
    qint64 streamBacklogBytes = 1024 * 1024; // unsent bytes a slow event-stream client may fall behind by
    int streamKeepAliveMs = 15'000;          // a comment line to each event-stream client when quiet
    int sweepMs = 200;                       // how often the limits above are checked
};

struct Response {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
};

class WebServer : public QAbstractHttpServer {
public:
    using Handler = std::function<Response()>;
    // The first bytes a new event-stream client is sent (the state it starts from).
    using StreamOpener = std::function<QByteArray()>;
    // Takes over a connection whose request asks to upgrade it (a WebSocket): its descriptor, now the
    // taker's to close, and the request read whole. Called on the server's thread.
    using Handoff = std::function<void(qintptr descriptor, const QByteArray& request)>;

    // What the server refused or ended, for the tests and the benchmarks.
    struct Counts {
        std::uint64_t refusedHosts = 0; // addresses outside the allow-list
        std::uint64_t overLimit = 0;    // connections beyond the limits in all or per address
        std::uint64_t tooLarge = 0;     // requests over requestBytes
        std::uint64_t timedOut = 0;     // requests over requestMs, connections idle over idleMs
        std::uint64_t slowStreams = 0;  // event-stream clients that fell too far behind
        std::uint64_t notFound = 0;     // paths the server does not serve
        std::uint64_t served = 0;       // requests answered
        std::uint64_t handedOff = 0;    // connections taken over by a handoff
        int open = 0;                   // connections open now
        int streams = 0;                // event-stream clients now
    };

    explicit WebServer(Limits limits = {}, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens on `port` (0: one the system chooses): on the loopback's two addresses when `allowed` names
    // no host, else on every interface, admitting only the hosts it names. Returns why it could not, or
    // "" once listening.
    std::string listen(quint16 port, const qt::HostAllowList& allowed);
    quint16 port() const;

    void addResource(const QString& path, const QByteArray& contentType, const QByteArray& body);
    // One of the pages' files compiled into the program (`pages/NAME`), served at `path`.
    void addPageFile(const QString& path, const QByteArray& contentType, const QString& name);
    void addHandler(const QString& path, Handler handler);
    void addEventStream(const QString& path, StreamOpener opener);
    // An upgrade request for `path` (a connection's first request) leaves this server for `handoff`.
    void addHandoff(const QString& path, Handoff handoff);
    // One event-stream message (`event: NAME`, `data: JSON`) to every client of the stream at `path`.
    void broadcast(const QString& path, const QByteArray& event, const QByteArray& json);
    static QByteArray eventMessage(const QByteArray& event, const QByteArray& json);

    const Counts& counts() const { return m_counts; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    class Listener;
    struct Connection {
        std::string address;
        qint64 lastActivityMs = 0;
        qint64 requestStartedMs = -1; // -1: no request under way
        qint64 requestBytes = 0;
        int requests = 0;
        QString stream; // the event stream it follows, empty for an ordinary connection
        qint64 lastStreamWriteMs = 0;
    };
    struct Route {
        enum Kind { Resource, Handled, Stream } kind = Resource;
        QByteArray contentType;
        QByteArray body;
        Handler handler;
        StreamOpener opener;
    };

    void onIncoming(Listener& listener, qintptr descriptor);
    void onBytes(QTcpSocket* socket);
    bool handOff(QTcpSocket* socket);
    void sweep();
    void refuse(QTcpSocket* socket, int status);
    void respond(const QHttpServerRequest& request, QTcpSocket* socket, const Response& response);
    void openStream(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path,
                    const Route& route);
    void forget(QTcpSocket* socket);
    qint64 nowMs() const { return m_clock.elapsed(); }

    Limits m_limits;
    qt::HostAllowList m_allowed;
    std::vector<Listener*> m_listeners;
    QHash<QString, Route> m_routes;
    QHash<QString, Handoff> m_handoffs;
    std::map<QTcpSocket*, Connection> m_connections;
    std::map<std::string, int> m_perAddress;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    Counts m_counts;
};

} // namespace veltrum::web
