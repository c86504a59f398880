// The tablet link's socket on Qt: listeners on the tablet port and one accepted QTcpSocket, the tablet.
#pragma once

#include "platform/TabletSocket.h"
#include "qt/HostAllowList.h"
#include "qt/WebSocketLink.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

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
//
// A browser's tablet page is a tablet too: the tablet page's server hands over each connection that
// opens the page's WebSocket link (adoptBrowser), and from then on it is offered, accepted, replaced and
// ended exactly as a TCP tablet's connection is, under the same allow-list and slot rule. Its messages
// are the TCP tablet's bytes, one WebSocket message each; a heartbeat every heartbeatMs lets the page
// notice a dead link and connect again.
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
    static constexpr int heartbeatMs = 2000;

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
    // Who may be the tablet, as last set.
    const HostAllowList& allowedPeers() const { return m_allowed; }

    // Takes a browser's connection whose opening request (`request`, read whole) asks for the tablet
    // link; it is refused as a TCP connection is when its address may not be the tablet, and closed when
    // the request is not a WebSocket opening or the port is not listening. Call on the Qt thread.
    void adoptBrowser(qintptr descriptor, const QByteArray& request);
    // Whether the connected tablet is a browser's page.
    bool browserConnected() const { return state() == Connected && m_browserLink; }

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
    void offer(QTcpSocket* incoming);
    void refuse(qintptr descriptor, const QHostAddress& peer);
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
    // The connected tablet's link when it is a browser's: the frames read so far and the messages not
    // yet taken.
    bool m_browserLink = false;
    webSocket::FrameReader m_frames;
    std::string m_browserReceived;
    QTimer m_heartbeat;
};

} // namespace veltrum::qt
