#include "qt/QtTabletSocket.h"

#include "qt/FailureReport.h"
#include "qt/HostAllowList.h"

#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

namespace veltrum::qt {

namespace {

// A failing accept (out of descriptors, say) is tried again after this pause rather than at once.
constexpr int acceptRetryMs = 200;
// Marks a connection handed over by the tablet page's server.
constexpr const char* browserProperty = "veltrumBrowserLink";

void setKeepAlive(qintptr descriptor) {
    const int fd = static_cast<int>(descriptor);
    const int on = 1;
    const int idle = QtTabletSocket::keepAliveIdleSeconds;
    const int interval = QtTabletSocket::keepAliveIntervalSeconds;
    const int probes = QtTabletSocket::keepAliveProbes;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    // Keep-alive probes wait while a display message is unacknowledged; a dead tablet that was sent one
    // is given up after the same time.
    const unsigned userTimeoutMs = static_cast<unsigned>(idle + interval * probes) * 1000U;
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

} // namespace

// A listener that hands each accepted descriptor to the socket before any QTcpSocket is made for it.
class QtTabletSocket::Listener : public QTcpServer {
public:
    explicit Listener(QtTabletSocket& owner)
        : QTcpServer(&owner)
        , m_owner(owner) {}

    using QTcpServer::addPendingConnection;

protected:
    void incomingConnection(qintptr descriptor) override { m_owner.onIncoming(*this, descriptor); }

private:
    QtTabletSocket& m_owner;
};

QtTabletSocket::QtTabletSocket(QObject* parent)
    : QObject(parent) {
    for (int i = 0; i < 2; ++i) {
        auto* listener = new Listener(*this);
        connect(listener, &QTcpServer::newConnection, this, [this, listener] { onNewConnection(*listener); });
        connect(listener, &QTcpServer::acceptError, this,
                [this, listener](QAbstractSocket::SocketError error) { onAcceptError(*listener, error); });
        m_listeners.push_back(listener);
    }
    m_heartbeat.setInterval(heartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        if (m_browserLink && m_connection)
            m_connection->write(webSocket::heartbeatFrame());
    });
}

QtTabletSocket::~QtTabletSocket() {
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->abort();
    }
}

bool QtTabletSocket::isListening() const {
    for (const Listener* listener : m_listeners)
        if (listener->isListening())
            return true;
    return false;
}

platform::TabletSocket::State QtTabletSocket::state() const {
    if (m_connection && m_connection->state() == QAbstractSocket::ConnectedState)
        return Connected;
    return isListening() ? Listening : Closed;
}

std::int32_t QtTabletSocket::localPort() const {
    for (const Listener* listener : m_listeners)
        if (listener->isListening())
            return static_cast<std::int32_t>(listener->serverPort());
    return m_port;
}

std::vector<std::string> QtTabletSocket::listeningAddresses() const {
    std::vector<std::string> addresses;
    for (const Listener* listener : m_listeners)
        if (listener->isListening())
            addresses.push_back(listener->serverAddress().toString().toStdString());
    return addresses;
}

qintptr QtTabletSocket::connectionDescriptor() const {
    return state() == Connected ? m_connection->socketDescriptor() : -1;
}

void QtTabletSocket::close() {
    for (Listener* listener : m_listeners)
        listener->close();
    releaseConnection();
}

void QtTabletSocket::listen() {
    if (m_port < 0 || m_port > 65535)
        throw std::runtime_error("Cannot listen for the tablet on port " + std::to_string(m_port) +
                                 ": a TCP port is a number from 0 to 65535.");
    for (Listener* listener : m_listeners)
        listener->close();
    m_acceptFailureReported = false;
    const auto failed = [this](const Listener& listener) {
        return std::runtime_error("Cannot listen for the tablet on TCP port " + std::to_string(m_port) +
                                  ": " + listener.errorString().toStdString());
    };
    if (!m_allowed.loopbackOnly()) {
        if (!m_listeners[0]->listen(QHostAddress::Any, static_cast<quint16>(m_port)))
            throw failed(*m_listeners[0]);
        return;
    }
    // The loopback's two addresses on one port; a port the system chooses is chosen again when the
    // IPv6 loopback has it taken.
    for (int attempt = 0;; ++attempt) {
        if (!m_listeners[0]->listen(QHostAddress::LocalHost, static_cast<quint16>(m_port)))
            throw failed(*m_listeners[0]);
        if (m_listeners[1]->listen(QHostAddress::LocalHostIPv6, m_listeners[0]->serverPort()))
            return;
        const bool inUse = m_listeners[1]->serverError() == QAbstractSocket::AddressInUseError;
        // A machine without IPv6 has only the first.
        if (!inUse)
            return;
        m_listeners[0]->close();
        if (m_port != 0 || attempt == 4)
            throw failed(*m_listeners[1]);
    }
}

void QtTabletSocket::accept(std::int32_t requestId) {
    const auto found = m_requests.find(requestId);
    if (found == m_requests.end())
        throw std::runtime_error("The tablet's connection request " + std::to_string(requestId) +
                                 " is no longer waiting.");
    QTcpSocket* incoming = found->second;
    m_requests.erase(found);
    // The connection it replaces (a tablet that went silent, a link that died unnoticed) is closed at
    // once and says nothing more: neither its close nor its errors reach the session.
    if (m_connection) {
        QTcpSocket* replaced = m_connection;
        m_connection = nullptr;
        replaced->disconnect(this);
        replaced->abort();
        replaced->deleteLater();
    }
    m_connection = incoming;
    m_browserLink = incoming->property(browserProperty).toBool();
    m_frames = {};
    m_browserReceived.clear();
    if (m_browserLink)
        m_heartbeat.start();
    else
        m_heartbeat.stop();
    // A tablet that sends without end fills at most this much before TCP holds it back; each arrival
    // is then read whole by the session.
    m_connection->setReadBufferSize(readBufferBytes);
    // A display message is a few bytes that must reach the tablet as the trial begins: no waiting for
    // more bytes to fill a segment (Nagle's algorithm) nor for the event loop to come round.
    m_connection->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_connection, &QTcpSocket::readyRead, this, &QtTabletSocket::onReadyRead);
    connect(m_connection, &QTcpSocket::disconnected, this, &QtTabletSocket::onDisconnected);
    connect(m_connection, &QTcpSocket::errorOccurred, this, &QtTabletSocket::onSocketError);
    // Bytes may have arrived between the tablet's connect and this accept.
    if (m_connection->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &QtTabletSocket::onReadyRead, Qt::QueuedConnection);
}

void QtTabletSocket::send(const std::string& bytes) {
    if (state() != Connected)
        throw std::runtime_error("Cannot send to the tablet: no tablet is connected.");
    if (m_browserLink)
        m_connection->write(webSocket::textFrame(bytes));
    else
        m_connection->write(bytes.data(), static_cast<qint64>(bytes.size()));
    m_connection->flush();
}

void QtTabletSocket::setAllowedPeers(const std::vector<std::string>& peers) {
    m_allowed = HostAllowList(peers);
}

std::string QtTabletSocket::peerAddress() const {
    if (state() != Connected)
        return {};
    return shownAddress(m_connection->peerAddress());
}

std::string QtTabletSocket::takeReceived() {
    if (!m_connection)
        return {};
    if (m_browserLink)
        return std::exchange(m_browserReceived, {});
    return m_connection->readAll().toStdString();
}

void QtTabletSocket::onIncoming(Listener& listener, qintptr descriptor) {
    const QHostAddress peer = peerOfDescriptor(descriptor);
    if (peer.isNull() || !mayBeTheTablet(peer)) {
        refuse(descriptor, peer);
        return;
    }
    auto* incoming = new QTcpSocket(this);
    if (!incoming->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete incoming;
        return;
    }
    setKeepAlive(descriptor);
    m_acceptFailureReported = false;
    listener.addPendingConnection(incoming);
}

void QtTabletSocket::refuse(qintptr descriptor, const QHostAddress& peer) {
    resetAndClose(descriptor);
    ++m_refused;
    if (m_events.refused) {
        const std::string address =
            peer.isNull() ? std::string("an address gone before it was read") : shownAddress(peer);
        runGuarded([&] { m_events.refused(address); });
    }
}

void QtTabletSocket::adoptBrowser(qintptr descriptor, const QByteArray& request) {
    const QHostAddress peer = peerOfDescriptor(descriptor);
    if (peer.isNull() || !mayBeTheTablet(peer)) {
        refuse(descriptor, peer);
        return;
    }
    const QByteArray answer = webSocket::handshakeAnswer(request);
    if (answer.isEmpty() || !isListening()) {
        resetAndClose(descriptor);
        return;
    }
    auto* incoming = new QTcpSocket(this);
    if (!incoming->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete incoming;
        return;
    }
    setKeepAlive(descriptor);
    incoming->setProperty(browserProperty, true);
    incoming->write(answer);
    offer(incoming);
}

void QtTabletSocket::onNewConnection(Listener& listener) {
    while (QTcpSocket* incoming = listener.nextPendingConnection())
        offer(incoming);
}

void QtTabletSocket::offer(QTcpSocket* incoming) {
    if (!m_events.connectionRequest) {
        dispose(incoming);
        return;
    }
    const std::int32_t id = m_nextRequestId++;
    m_requests.emplace(id, incoming);
    runGuarded([&] { m_events.connectionRequest(id); });
    // A request not accepted by the handler is refused.
    const auto left = m_requests.find(id);
    if (left != m_requests.end()) {
        dispose(left->second);
        m_requests.erase(left);
    }
}

bool QtTabletSocket::mayBeTheTablet(const QHostAddress& peer) const {
    return m_allowed.admits(peer);
}

void QtTabletSocket::onReadyRead() {
    if (!m_connection || m_connection->bytesAvailable() <= 0)
        return;
    if (!m_browserLink) {
        if (m_events.dataArrival)
            runGuarded(m_events.dataArrival);
        return;
    }
    // A browser's frames become the TCP tablet's bytes; each arrival is at most readBufferBytes.
    QByteArray replies;
    const auto verdict = m_frames.feed(m_connection->readAll(), m_browserReceived, replies);
    if (!replies.isEmpty())
        m_connection->write(replies);
    QPointer<QTcpSocket> reading = m_connection.data();
    if (!m_browserReceived.empty() && m_events.dataArrival)
        runGuarded(m_events.dataArrival);
    if (verdict != webSocket::FrameReader::Verdict::Going && reading && reading == m_connection)
        linkEnded();
}

void QtTabletSocket::onDisconnected() {
    linkEnded();
}

void QtTabletSocket::linkEnded() {
    // The tablet went away: the link is closed and the session decides what to do.
    releaseConnection();
    if (m_events.closed)
        runGuarded(m_events.closed);
}

void QtTabletSocket::onSocketError(QAbstractSocket::SocketError error) {
    if (!m_connection)
        return;
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::SocketTimeoutError: {
        // The tablet closed or reset its end, or its link died (keep-alive probes unanswered, data
        // unacknowledged): the tablet closing the connection, never an error box. Qt normally reports
        // the disconnection next; if it does not, the link is ended here once the event loop comes round.
        QPointer<QTcpSocket> ended = m_connection.data();
        QMetaObject::invokeMethod(
            this,
            [this, ended] {
                if (ended && ended == m_connection)
                    linkEnded();
            },
            Qt::QueuedConnection);
        return;
    }
    default:
        break;
    }
    const std::string description = m_connection->errorString().toStdString();
    if (m_events.error)
        runGuarded([&] { m_events.error(static_cast<std::int16_t>(error), description); });
    if (m_connection && m_connection->state() == QAbstractSocket::UnconnectedState)
        linkEnded();
}

void QtTabletSocket::onAcceptError(Listener& listener, QAbstractSocket::SocketError error) {
    // The listener stops accepting after a failure; it must go on, or the tablet could never connect
    // again. A connection that went away before it was accepted is nobody's concern; anything else (out
    // of descriptors, say) is tried again after a pause and reported once until a connection is accepted.
    const bool goneBeforeAccepted = error == QAbstractSocket::NetworkError;
    QPointer<Listener> resumed(&listener);
    QTimer::singleShot(goneBeforeAccepted ? 0 : acceptRetryMs, this, [resumed] {
        if (resumed && resumed->isListening())
            resumed->resumeAccepting();
    });
    if (goneBeforeAccepted || m_acceptFailureReported)
        return;
    m_acceptFailureReported = true;
    const std::string description = listener.errorString().toStdString();
    if (m_events.error)
        runGuarded([&] { m_events.error(static_cast<std::int16_t>(error), description); });
}

void QtTabletSocket::releaseConnection() {
    if (!m_connection)
        return;
    QTcpSocket* socket = m_connection;
    m_connection = nullptr;
    m_heartbeat.stop();
    m_browserLink = false;
    m_browserReceived.clear();
    socket->disconnect(this);
    dispose(socket);
}

void QtTabletSocket::dispose(QTcpSocket* socket) {
    // Closing lets bytes already written (the blank display message at the end of a session) reach the
    // tablet; the socket is deleted once it is fully disconnected. A tablet that never takes them is
    // given up by the keep-alive.
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
}

} // namespace veltrum::qt
