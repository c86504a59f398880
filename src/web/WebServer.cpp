#include "web/WebServer.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace veltrum::web {

namespace {

// What every answer carries: the page may run only its own script and style and talk only to this
// server, may not be framed, and its type is never guessed from its bytes.
constexpr std::pair<const char*, const char*> securityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
     "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cache-Control", "no-store"},
};

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

QByteArray plainText(int status) {
    return QByteArray::number(status) + ' ' + reason(status) + '\n';
}

} // namespace

// Counts, bounds and times each connection before Qt's HTTP server sees it; a host that may not
// connect, or one connection too many, is reset before any socket object is made for it.
class WebServer::Listener : public QTcpServer {
public:
    explicit Listener(WebServer& owner)
        : QTcpServer(&owner)
        , m_owner(owner) {
        // A burst of connections waits in the kernel to be taken (and let in or refused) at once, rather
        // than being dropped and tried again by the clients seconds later.
        setListenBacklogSize(1024);
    }

    using QTcpServer::addPendingConnection;

protected:
    void incomingConnection(qintptr descriptor) override { m_owner.onIncoming(*this, descriptor); }

private:
    WebServer& m_owner;
};

WebServer::WebServer(Limits limits, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_limits(limits) {
    // A refused WebSocket upgrade is logged by Qt as a warning; a client could fill the terminal with it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver.warning=false"));
    m_clock.start();
    for (int i = 0; i < 2; ++i)
        m_listeners.push_back(new Listener(*this));
    m_sweep.setInterval(m_limits.sweepMs);
    connect(&m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    m_sweep.start();
}

WebServer::~WebServer() {
    m_sweep.stop();
    // The connections (children of the listeners) go while the books they are kept in still exist.
    for (Listener* listener : m_listeners)
        delete listener;
    m_listeners.clear();
}

std::string WebServer::listen(quint16 port, const qt::HostAllowList& allowed) {
    m_allowed = allowed;
    for (Listener* listener : m_listeners)
        listener->close();
    if (!allowed.loopbackOnly()) {
        if (!m_listeners[0]->listen(QHostAddress::Any, port))
            return m_listeners[0]->errorString().toStdString();
        bind(m_listeners[0]);
        return {};
    }
    // The loopback's two addresses on one port; a port the system chooses is chosen again when the IPv6
    // loopback has it taken.
    for (int attempt = 0;; ++attempt) {
        if (!m_listeners[0]->listen(QHostAddress::LocalHost, port))
            return m_listeners[0]->errorString().toStdString();
        if (m_listeners[1]->listen(QHostAddress::LocalHostIPv6, m_listeners[0]->serverPort())) {
            bind(m_listeners[1]);
            break;
        }
        // A machine without IPv6 has only the first.
        if (m_listeners[1]->serverError() != QAbstractSocket::AddressInUseError)
            break;
        m_listeners[0]->close();
        if (port != 0 || attempt == 4)
            return m_listeners[1]->errorString().toStdString();
    }
    bind(m_listeners[0]);
    return {};
}

quint16 WebServer::port() const {
    return m_listeners.empty() ? 0 : m_listeners[0]->serverPort();
}

void WebServer::addResource(const QString& path, const QByteArray& contentType, const QByteArray& body) {
    Route route;
    route.kind = Route::Resource;
    route.contentType = contentType;
    route.body = body;
    m_routes.insert(path, route);
}

void WebServer::addPageFile(const QString& path, const QByteArray& contentType, const QString& name) {
    QFile file(QStringLiteral(":/veltrum/web/") + name);
    addResource(path, contentType, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

void WebServer::addHandler(const QString& path, Handler handler) {
    Route route;
    route.kind = Route::Handled;
    route.handler = std::move(handler);
    m_routes.insert(path, route);
}

void WebServer::addHandoff(const QString& path, Handoff handoff) {
    m_handoffs.insert(path, std::move(handoff));
}

void WebServer::addEventStream(const QString& path, StreamOpener opener) {
    Route route;
    route.kind = Route::Stream;
    route.opener = std::move(opener);
    m_routes.insert(path, route);
}

QByteArray WebServer::eventMessage(const QByteArray& event, const QByteArray& json) {
    // Compact JSON holds no line break; should one come, each line is a data line of its own.
    QByteArray message = "event: " + event + '\n';
    for (const QByteArray& line : json.split('\n'))
        message += "data: " + line + '\n';
    return message + '\n';
}

void WebServer::broadcast(const QString& path, const QByteArray& event, const QByteArray& json) {
    const QByteArray message = eventMessage(event, json);
    std::vector<QTcpSocket*> behind;
    for (auto& [socket, connection] : m_connections) {
        if (connection.stream != path)
            continue;
        // A client that does not read what it is sent is dropped; its browser comes back to a fresh state.
        if (socket->bytesToWrite() + message.size() > m_limits.streamBacklogBytes) {
            behind.push_back(socket);
            continue;
        }
        socket->write(message);
        connection.lastStreamWriteMs = nowMs();
    }
    for (QTcpSocket* socket : behind) {
        ++m_counts.slowStreams;
        socket->abort();
    }
}

void WebServer::onIncoming(Listener& listener, qintptr descriptor) {
    const QHostAddress peer = qt::peerOfDescriptor(descriptor);
    if (peer.isNull() || !m_allowed.admits(peer)) {
        qt::resetAndClose(descriptor);
        ++m_counts.refusedHosts;
        return;
    }
    const std::string address = qt::shownAddress(peer);
    int& fromAddress = m_perAddress[address];
    if (m_counts.open >= m_limits.connections || fromAddress >= m_limits.connectionsPerAddress) {
        if (fromAddress == 0)
            m_perAddress.erase(address);
        qt::resetAndClose(descriptor);
        ++m_counts.overLimit;
        return;
    }
    auto* socket = new QTcpSocket(&listener);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete socket;
        return;
    }
    // Qt reads at most this much ahead; a request larger than half of it is refused before it is whole.
    socket->setReadBufferSize(2 * m_limits.requestBytes);
    ++fromAddress;
    ++m_counts.open;
    Connection& connection = m_connections[socket];
    connection.address = address;
    connection.lastActivityMs = nowMs();
    // Connected before Qt's server connects its own: each arrival is counted before it is parsed.
    connect(socket, &QTcpSocket::readyRead, &listener, [this, socket] { onBytes(socket); });
    connect(socket, &QObject::destroyed, &listener, [this, socket] { forget(socket); });
    listener.addPendingConnection(socket);
}

void WebServer::forget(QTcpSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    if (!found->second.stream.isEmpty())
        --m_counts.streams;
    const auto address = m_perAddress.find(found->second.address);
    if (address != m_perAddress.end() && --address->second <= 0)
        m_perAddress.erase(address);
    --m_counts.open;
    m_connections.erase(found);
}

void WebServer::onBytes(QTcpSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    Connection& connection = found->second;
    connection.lastActivityMs = nowMs();
    const qint64 arrived = socket->bytesAvailable();
    if (!connection.stream.isEmpty()) {
        // An event-stream client has nothing more to say; what it sends anyway is dropped, within bounds.
        socket->readAll();
        connection.requestBytes += arrived;
    } else {
        if (connection.requestStartedMs < 0) {
            connection.requestStartedMs = connection.lastActivityMs;
            connection.requestBytes = 0;
        }
        connection.requestBytes += arrived;
        if (connection.requests == 0 && !m_handoffs.isEmpty() && handOff(socket))
            return;
    }
    if (connection.requestBytes > m_limits.requestBytes) {
        ++m_counts.tooLarge;
        refuse(socket, 413);
    }
}

bool WebServer::handOff(QTcpSocket* socket) {
    // Read before Qt's server parses it: a connection's first request, once whole, for a path handed
    // off and asking for an upgrade.
    const QByteArray head = socket->peek(m_limits.requestBytes);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QByteArray firstLine = head.left(head.indexOf("\r\n"));
    const QList<QByteArray> parts = firstLine.split(' ');
    if (parts.size() != 3 || parts[0] != "GET")
        return false;
    const auto handoff = m_handoffs.constFind(QString::fromLatin1(parts[1]));
    if (handoff == m_handoffs.constEnd() || !head.left(end).toLower().contains("\nupgrade:"))
        return false;
    const QByteArray request = socket->read(end + 4);
    // The connection leaves this server: its descriptor is duplicated for the taker and the socket
    // object, with everything Qt's server keeps of it, goes.
    const int descriptor = ::fcntl(static_cast<int>(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->abort();
    socket->deleteLater();
    if (descriptor < 0)
        return true;
    ++m_counts.handedOff;
    (*handoff)(descriptor, request);
    return true;
}

void WebServer::refuse(QTcpSocket* socket, int status) {
    // Nothing more of this connection is parsed or counted; the answer goes out and the connection closes.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    if (const auto found = m_connections.find(socket); found != m_connections.end())
        found->second.requestStartedMs = -1;
    const QByteArray body = plainText(status);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    head += "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nConnection: close\r\n";
    for (const auto& [name, value] : securityHeaders)
        head += QByteArray(name) + ": " + value + "\r\n";
    socket->write(head + "\r\n" + body);
    socket->disconnectFromHost();
}

void WebServer::sweep() {
    const qint64 now = nowMs();
    std::vector<QTcpSocket*> slowRequests;
    std::vector<QTcpSocket*> ended;
    for (auto& [socket, connection] : m_connections) {
        if (socket->state() == QAbstractSocket::ClosingState) {
            // An answer that a client never reads holds the connection no longer than an idle one.
            if (now - connection.lastActivityMs > m_limits.idleMs)
                ended.push_back(socket);
            continue;
        }
        if (!connection.stream.isEmpty()) {
            if (socket->bytesToWrite() > m_limits.streamBacklogBytes) {
                ++m_counts.slowStreams;
                ended.push_back(socket);
            } else if (now - connection.lastStreamWriteMs > m_limits.streamKeepAliveMs) {
                socket->write(": still here\n\n");
                connection.lastStreamWriteMs = now;
            }
            continue;
        }
        if (connection.requestStartedMs >= 0 && now - connection.requestStartedMs > m_limits.requestMs) {
            slowRequests.push_back(socket);
        } else if (connection.requestStartedMs < 0 && now - connection.lastActivityMs > m_limits.idleMs) {
            ++m_counts.timedOut;
            ended.push_back(socket);
        }
    }
    for (QTcpSocket* socket : slowRequests) {
        ++m_counts.timedOut;
        refuse(socket, 408);
        if (const auto found = m_connections.find(socket); found != m_connections.end())
            found->second.lastActivityMs = now;
    }
    for (QTcpSocket* socket : ended)
        socket->abort();
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return true;
    Connection& connection = found->second;
    connection.requestStartedMs = -1;
    connection.requestBytes = 0;
    connection.lastActivityMs = nowMs();
    ++connection.requests;
    ++m_counts.served;
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    if (!head && request.method() != QHttpServerRequest::Method::Get) {
        respond(request, socket, {405, "text/plain; charset=utf-8", plainText(405)});
        return true;
    }
    // Only the exact paths given are served: "/../x", "/%2e%2e/x" and every other spelling is not one.
    const auto route = m_routes.constFind(request.url().path());
    if (route == m_routes.constEnd()) {
        ++m_counts.notFound;
        respond(request, socket, {404, "text/plain; charset=utf-8", plainText(404)});
        return true;
    }
    switch (route->kind) {
    case Route::Resource:
        respond(request, socket, {200, route->contentType, route->body});
        break;
    case Route::Handled:
        respond(request, socket, route->handler());
        break;
    case Route::Stream:
        openStream(request, socket, route.key(), *route);
        break;
    }
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    respond(request, socket, {404, "text/plain; charset=utf-8", plainText(404)});
}

void WebServer::respond(const QHttpServerRequest& request, QTcpSocket* socket, const Response& response) {
    const auto found = m_connections.find(socket);
    const bool last = found == m_connections.end() ||
                      found->second.requests >= m_limits.requestsPerConnection ||
                      request.value("connection").compare("close", Qt::CaseInsensitive) == 0;
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(response.status));
    responder.writeHeader("Content-Type", response.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(response.body.size()));
    for (const auto& [name, value] : securityHeaders)
        responder.writeHeader(name, value);
    if (response.status == 405)
        responder.writeHeader("Allow", "GET, HEAD");
    if (response.status == 503)
        responder.writeHeader("Retry-After", "5");
    if (last)
        responder.writeHeader("Connection", "close");
    responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray() : response.body);
    if (last)
        socket->disconnectFromHost();
}

void WebServer::openStream(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path,
                           const Route& route) {
    if (m_counts.streams >= m_limits.eventStreams || request.method() == QHttpServerRequest::Method::Head) {
        respond(request, socket, {503, "text/plain; charset=utf-8", plainText(503)});
        return;
    }
    Connection& connection = m_connections[socket];
    // The rest of the connection is the stream: no further request is parsed on it.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    connection.stream = path;
    connection.lastStreamWriteMs = nowMs();
    ++m_counts.streams;
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
    responder.writeHeader("Content-Type", "text/event-stream; charset=utf-8");
    for (const auto& [name, value] : securityHeaders)
        responder.writeHeader(name, value);
    // A browser that loses the stream asks again after two seconds.
    responder.writeBody("retry: 2000\n\n" + route.opener());
}

} // namespace veltrum::web
