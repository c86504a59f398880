// The tablet link's socket on Qt: listeners on the tablet port and one accepted QTcpSocket, the tablet.
#pragma once

#include "platform/TabletSocket.h"
#include "qt/HostAllowList.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace veltrum::qt {

// Each allowed incoming connection is offered through Events::connectionRequest with a fresh request id
// and must be accepted inside that callback, or it is dropped. The port keeps listening while a tablet is
// connected; accepting a new connection closes the one it replaces. A connection from an address that may
// not be the tablet is reset as soon as it is accepted, before any socket object is made for it, so a
// flood of them costs nothing kept and never holds up the next connection. Events are delivered on the
// Qt thread; an exception from a callback is reported through the failure sink.
class QtTabletSocket : public QObject, public platform::TabletSocket {
public:
    static constexpr qint64 readBufferBytes = 64 * 1024;
    // A tablet's link that carries nothing for keepAliveIdleSeconds is probed every
    // keepAliveIntervalSeconds; after keepAliveProbes probes unanswered (or data unacknowledged for as
    // long) the link is given up, as if the tablet had closed it: a tablet whose network dropped is
    // noticed within seconds.
    static constexpr int keepAliveIdleSeconds = 2;
    static constexpr int keepAliveIntervalSeconds = 1;
    static constexpr int keepAliveProbes = 3;

    explicit QtTabletSocket(QObject* parent = nullptr);
    ~QtTabletSocket() override;

    void setEvents(Events events) override { m_events = std::move(events); }
    State state() const override;
    void close() override;
    void setLocalPort(std::int32_t port) override { m_port = port; }
    // The port being listened on (the one chosen by the system when 0 was set), else the port set.
    std::int32_t localPort() const override;
    void listen() override;
    void accept(std::int32_t requestId) override;
    void send(const std::string& bytes) override;
    std::string takeReceived() override;
    void setAllowedPeers(const std::vector<std::string>& peers) override;
    std::string peerAddress() const override;

    // The addresses listened on ("127.0.0.1", "::1", or "::" for every interface), empty when closed.
    std::vector<std::string> listeningAddresses() const;
    // The tablet's connection's socket descriptor, -1 while none is connected (to check its options).
    qintptr connectionDescriptor() const;
    // Connections refused since the socket was made.
    std::uint64_t refusedCount() const { return m_refused; }

private:
    class Listener;
    void onIncoming(Listener& listener, qintptr descriptor);
    void onNewConnection(Listener& listener);
    void onReadyRead();
    void onDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onAcceptError(Listener& listener, QAbstractSocket::SocketError error);
    // The tablet's link ended without the session closing it: reported as the tablet closing it.
    void linkEnded();
    void releaseConnection();
    bool mayBeTheTablet(const QHostAddress& peer) const;
    bool isListening() const;
    static void dispose(QTcpSocket* socket);

    Events m_events;
    // The loopback's two addresses, or every interface (the second then unused).
    std::vector<Listener*> m_listeners;
    QPointer<QTcpSocket> m_connection;
    std::map<std::int32_t, QTcpSocket*> m_requests;
    std::int32_t m_port = 0;
    std::int32_t m_nextRequestId = 1;
    std::uint64_t m_refused = 0;
    // A failing accept is reported once until the port accepts a connection again.
    bool m_acceptFailureReported = false;
    HostAllowList m_allowed;
};

} // namespace veltrum::qt
