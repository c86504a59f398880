#include "FakeTabletSocket.h"

#include <algorithm>
#include <stdexcept>

namespace veltrum::testing {

platform::TabletSocket::State FakeTabletSocket::state() const {
    if (m_connected)
        return Connected;
    if (m_listening)
        return Listening;
    return m_failed ? Error : Closed;
}

void FakeTabletSocket::close() {
    m_listening = false;
    m_connected = false;
    m_failed = false;
    ++m_closes;
}

void FakeTabletSocket::listen() {
    if (m_listenFailure) {
        const std::string reason = *m_listenFailure;
        m_listenFailure.reset();
        m_failed = true;
        throw std::runtime_error("port " + std::to_string(m_port) + ": " + reason);
    }
    m_listening = true;
    m_failed = false;
    m_listens.push_back(m_port);
}

void FakeTabletSocket::accept(std::int32_t) {
    if (m_connected)
        ++m_replaced;
    m_connected = true;
    m_peer = m_offered;
}

void FakeTabletSocket::send(const std::string& bytes) {
    if (!m_connected)
        throw std::runtime_error("send on a socket that is not connected");
    m_sent.push_back(bytes);
}

std::string FakeTabletSocket::takeReceived() {
    std::string taken;
    taken.swap(m_received);
    return taken;
}

void FakeTabletSocket::tabletConnects(std::int32_t requestId, const std::string& address) {
    // Nothing answers a tablet while no socket listens, nor a host elsewhere while only the loopback does.
    if (!m_listening)
        return;
    if (m_allowed.empty() && address != "127.0.0.1" && address != "::1")
        return;
    const bool admitted = m_allowed.empty() ||
                          std::find(m_allowed.begin(), m_allowed.end(), "any") != m_allowed.end() ||
                          std::find(m_allowed.begin(), m_allowed.end(), address) != m_allowed.end();
    if (!admitted) {
        if (m_events.refused)
            m_events.refused(address);
        return;
    }
    m_offered = address;
    if (m_events.connectionRequest)
        m_events.connectionRequest(requestId);
}

void FakeTabletSocket::tabletSends(const std::string& bytes) {
    if (!m_connected)
        return;
    m_received += bytes;
    if (m_events.dataArrival)
        m_events.dataArrival();
}

void FakeTabletSocket::tabletCloses() {
    if (!m_connected)
        return;
    m_connected = false;
    if (m_events.closed)
        m_events.closed();
}

void FakeTabletSocket::reportError(std::int16_t number, const std::string& description) {
    if (m_events.error)
        m_events.error(number, description);
}

} // namespace veltrum::testing
