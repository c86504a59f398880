// The tablet link's socket on Qt: a QTcpServer that listens and one accepted QTcpSocket.
#pragma once

#include "platform/TabletSocket.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <map>
#include <utility>
#include <vector>

namespace veltrum::qt {

// Each incoming connection is offered through Events::connectionRequest with a fresh request id and
// must be accepted inside that callback, or it is dropped. While a tablet is connected, further
// connections are refused at once and never disturb the one in use. Events are delivered on the Qt
// thread; an exception from a callback is reported through the failure sink.
class QtTabletSocket : public QObject, public platform::TabletSocket {
public:
    static constexpr qint64 readBufferBytes = 64 * 1024;

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

private:
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onAcceptError(QAbstractSocket::SocketError error);
    void releaseConnection();
    bool mayBeTheTablet(const QHostAddress& peer) const;
    static void dispose(QTcpSocket* socket);

    Events m_events;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_connection;
    std::map<std::int32_t, QTcpSocket*> m_requests;
    std::int32_t m_port = 0;
    std::int32_t m_nextRequestId = 1;
    bool m_failed = false;
    // Subnets a tablet may connect from (a single address is a subnet of full length); empty: any.
    std::vector<std::pair<QHostAddress, int>> m_allowed;
};

} // namespace veltrum::qt
