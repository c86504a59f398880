// A tablet socket in memory: tests play the tablet's side and read what the controller sent.
#pragma once

#include "platform/TabletSocket.h"

#include <optional>
#include <string>
#include <vector>

namespace veltrum::testing {

class FakeTabletSocket : public platform::TabletSocket {
public:
    void setEvents(Events events) override { m_events = std::move(events); }
    State state() const override;
    void close() override;
    void setLocalPort(std::int32_t port) override { m_port = port; }
    std::int32_t localPort() const override { return m_port; }
    void listen() override;
    void accept(std::int32_t requestId) override;
    void send(const std::string& bytes) override;
    std::string takeReceived() override;
    // Entries are matched as whole addresses here ("any" admits all); subnets are the real socket's
    // business. With no entry only 127.0.0.1 and ::1 reach the port.
    void setAllowedPeers(const std::vector<std::string>& peers) override { m_allowed = peers; }
    std::string peerAddress() const override { return m_connected ? m_peer : std::string(); }
    const std::vector<std::string>& allowedPeers() const { return m_allowed; }

    // The next listen() fails with this reason (as a port in use would).
    void failNextListen(std::string reason) { m_listenFailure = std::move(reason); }

    // The tablet's side: each call delivers the matching event as the socket component would. A
    // connection while a tablet is connected is offered too; accepting it replaces the one before.
    void tabletConnects(std::int32_t requestId, const std::string& address = "127.0.0.1");
    void tabletSends(const std::string& bytes);
    void tabletCloses();
    void reportError(std::int16_t number, const std::string& description);

    const std::vector<std::string>& sent() const { return m_sent; }
    // Ports listened on, in order.
    const std::vector<std::int32_t>& listens() const { return m_listens; }
    int closeCount() const { return m_closes; }
    // Connections closed because an accepted one replaced them.
    int replacedCount() const { return m_replaced; }

private:
    Events m_events;
    bool m_listening = false;
    bool m_connected = false;
    bool m_failed = false;
    int m_replaced = 0;
    std::int32_t m_port = 0;
    std::optional<std::string> m_listenFailure;
    std::string m_received;
    std::vector<std::string> m_sent;
    std::vector<std::int32_t> m_listens;
    int m_closes = 0;
    std::vector<std::string> m_allowed;
    std::string m_peer;
    std::string m_offered;
};

} // namespace veltrum::testing
