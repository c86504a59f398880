// The one TCP socket of the tablet link: listens, then carries one accepted connection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltrum::platform {

class TabletSocket {
public:
    enum State : std::int16_t { Closed = 0, Listening = 2, Connected = 7, Error = 9 };

    struct Events {
        std::function<void(std::int32_t requestId)> connectionRequest;
        std::function<void()> dataArrival;
        std::function<void()> closed;
        std::function<void(std::int16_t number, const std::string& description)> error;
        // A connection from an address that may not be the tablet was refused.
        std::function<void(const std::string& address)> refused;
    };

    virtual ~TabletSocket() = default;
    virtual void setEvents(Events events) = 0;
    virtual State state() const = 0;
    virtual void close() = 0;
    virtual void setLocalPort(std::int32_t port) = 0;
    virtual std::int32_t localPort() const = 0;
    // Starts listening on the local port; throws std::runtime_error naming the port when it cannot.
    virtual void listen() = 0;
    virtual void accept(std::int32_t requestId) = 0;
    virtual void send(const std::string& bytes) = 0;
    // Everything received and not yet taken.
    virtual std::string takeReceived() = 0;
    // Limits who may be the tablet: each entry is an address ("192.168.1.20", "fe80::1") or a subnet
    // ("192.168.1.0/24"); a connection from any other address is closed at once and reported through
    // Events::refused, never offered. An empty list lets any address connect. Throws
    // std::invalid_argument naming the first entry that is neither.
    virtual void setAllowedPeers(const std::vector<std::string>& peers) = 0;
    // The connected tablet's address, empty while none is connected.
    virtual std::string peerAddress() const = 0;
};

} // namespace veltrum::platform
