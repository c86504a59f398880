#include "FakeTabletSocket.h"

#include <algorithm>
#include <stdexcept>

namespace veltrum::testing {

void FakeTabletSocket::close() {
    m_state = Closed;
    ++m_closes;
}

void FakeTabletSocket::listen() {
    if (m_listenFailure) {
        const std::string reason = *m_listenFailure;
        m_listenFailure.reset();
        m_state = Error;
        throw std::runtime_error("port " + std::to_string(m_port) + ": " + reason);
    }
    m_state = Listening;
    m_listens.push_back(m_port);
}

void FakeTabletSocket::accept(std::int32_t) {
    m_state = Connected;
}

void FakeTabletSocket::send(const std::string& bytes) {
    if (m_state != Connected)
        throw std::runtime_error("send on a socket that is not connected");
    m_sent.push_back(bytes);
}

std::string FakeTabletSocket::takeReceived() {
    std::string taken;
    taken.swap(m_received);
    return taken;
}

void FakeTabletSocket::tabletConnects(std::int32_t requestId, const std::string& address) {
    // Nothing answers a tablet while no socket listens.
    if (m_state != Listening)
        return;
    if (!m_allowed.empty() && std::find(m_allowed.begin(), m_allowed.end(), address) == m_allowed.end()) {
        if (m_events.refused)
            m_events.refused(address);
        return;
    }
    m_peer = address;
    if (m_events.connectionRequest)
        m_events.connectionRequest(requestId);
}

void FakeTabletSocket::tabletSends(const std::string& bytes) {
    if (m_state != Connected)
        return;
    m_received += bytes;
    if (m_events.dataArrival)
        m_events.dataArrival();
}

void FakeTabletSocket::tabletCloses() {
    if (m_state != Connected)
        return;
    m_state = Closed;
    if (m_events.closed)
        m_events.closed();
}

void FakeTabletSocket::reportError(std::int16_t number, const std::string& description) {
    if (m_events.error)
        m_events.error(number, description);
}

} // namespace veltrum::testing
