#include "qt/QtTabletSocket.h"

#include "qt/FailureReport.h"

#include <stdexcept>

namespace veltrum::qt {

namespace {

// An IPv4 host seen through the dual-stack listener is written as the operator knows it (1.2.3.4).
std::string shownAddress(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return (mapped ? QHostAddress(v4) : address).toString().toStdString();
}

} // namespace

QtTabletSocket::QtTabletSocket(QObject* parent)
    : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &QtTabletSocket::onNewConnection);
    connect(&m_server, &QTcpServer::acceptError, this, &QtTabletSocket::onAcceptError);
}

QtTabletSocket::~QtTabletSocket() {
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->abort();
    }
}

platform::TabletSocket::State QtTabletSocket::state() const {
    if (m_connection && m_connection->state() == QAbstractSocket::ConnectedState)
        return Connected;
    if (m_server.isListening())
        return Listening;
    return m_failed ? Error : Closed;
}

std::int32_t QtTabletSocket::localPort() const {
    return m_server.isListening() ? static_cast<std::int32_t>(m_server.serverPort()) : m_port;
}

void QtTabletSocket::close() {
    m_server.close();
    releaseConnection();
    m_failed = false;
}

void QtTabletSocket::listen() {
    if (m_port < 0 || m_port > 65535)
        throw std::runtime_error("Cannot listen for the tablet on port " + std::to_string(m_port) +
                                 ": a TCP port is a number from 0 to 65535.");
    m_server.close();
    m_failed = false;
    if (!m_server.listen(QHostAddress::Any, static_cast<quint16>(m_port)))
        throw std::runtime_error("Cannot listen for the tablet on TCP port " + std::to_string(m_port) + ": " +
                                 m_server.errorString().toStdString());
}

void QtTabletSocket::accept(std::int32_t requestId) {
    const auto found = m_requests.find(requestId);
    if (found == m_requests.end())
        throw std::runtime_error("The tablet's connection request " + std::to_string(requestId) +
                                 " is no longer waiting.");
    if (m_connection)
        throw std::runtime_error("A tablet is already connected; close the link before accepting another.");
    m_connection = found->second;
    m_requests.erase(found);
    m_failed = false;
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
    m_connection->write(bytes.data(), static_cast<qint64>(bytes.size()));
    m_connection->flush();
}

void QtTabletSocket::setAllowedPeers(const std::vector<std::string>& peers) {
    std::vector<std::pair<QHostAddress, int>> allowed;
    for (const std::string& peer : peers) {
        const QString text = QString::fromStdString(peer).trimmed();
        std::pair<QHostAddress, int> subnet = QHostAddress::parseSubnet(text);
        if (!text.contains(QLatin1Char('/'))) {
            const QHostAddress address(text);
            subnet = {address, address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        }
        if (subnet.first.isNull() || subnet.second < 0)
            throw std::invalid_argument(
                "\"" + peer + "\" is neither an address (192.168.1.20) nor a subnet (192.168.1.0/24)");
        allowed.push_back(subnet);
    }
    m_allowed = std::move(allowed);
}

std::string QtTabletSocket::peerAddress() const {
    if (state() != Connected)
        return {};
    return shownAddress(m_connection->peerAddress());
}

std::string QtTabletSocket::takeReceived() {
    if (!m_connection)
        return {};
    return m_connection->readAll().toStdString();
}

void QtTabletSocket::onNewConnection() {
    while (QTcpSocket* incoming = m_server.nextPendingConnection()) {
        incoming->setParent(this);
        if (!mayBeTheTablet(incoming->peerAddress())) {
            const std::string address = shownAddress(incoming->peerAddress());
            incoming->abort();
            incoming->deleteLater();
            if (m_events.refused)
                runGuarded([&] { m_events.refused(address); });
            continue;
        }
        if (m_connection || !m_events.connectionRequest) {
            dispose(incoming);
            continue;
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
}

bool QtTabletSocket::mayBeTheTablet(const QHostAddress& peer) const {
    if (m_allowed.empty())
        return true;
    // A connection to an IPv6 socket from an IPv4 host shows its address mapped (::ffff:a.b.c.d).
    bool mapped = false;
    const QHostAddress plain(peer.toIPv4Address(&mapped));
    for (const auto& [network, length] : m_allowed)
        if (peer.isInSubnet(network, length) || (mapped && plain.isInSubnet(network, length)))
            return true;
    return false;
}

void QtTabletSocket::onReadyRead() {
    if (m_connection && m_connection->bytesAvailable() > 0 && m_events.dataArrival)
        runGuarded(m_events.dataArrival);
}

void QtTabletSocket::onDisconnected() {
    // The tablet went away: the link is closed and the session decides whether to listen again.
    releaseConnection();
    if (m_events.closed)
        runGuarded(m_events.closed);
}

void QtTabletSocket::onSocketError(QAbstractSocket::SocketError error) {
    // A tablet that closes or resets its end is an ordinary close, reported by onDisconnected.
    if (error == QAbstractSocket::RemoteHostClosedError || !m_connection)
        return;
    const std::string description = m_connection->errorString().toStdString();
    if (m_connection->state() == QAbstractSocket::UnconnectedState) {
        releaseConnection();
        m_failed = true;
    }
    if (m_events.error)
        runGuarded([&] { m_events.error(static_cast<std::int16_t>(error), description); });
}

void QtTabletSocket::onAcceptError(QAbstractSocket::SocketError error) {
    const std::string description = m_server.errorString().toStdString();
    if (m_events.error)
        runGuarded([&] { m_events.error(static_cast<std::int16_t>(error), description); });
}

void QtTabletSocket::releaseConnection() {
    if (!m_connection)
        return;
    QTcpSocket* socket = m_connection;
    m_connection = nullptr;
    socket->disconnect(this);
    dispose(socket);
}

void QtTabletSocket::dispose(QTcpSocket* socket) {
    // Closing lets bytes already written (the blank display message at the end of a session) reach the
    // tablet; the socket is deleted once it is fully disconnected.
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
}

} // namespace veltrum::qt
