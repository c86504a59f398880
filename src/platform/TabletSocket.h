// The tablet link's socket: listens on the tablet port and carries one accepted connection, the tablet.
// The listener stays open while a tablet is connected, so a tablet whose link died without a word (or a
// host that connected and says nothing) never keeps the real tablet out: a new connection it accepts
// takes the slot over.
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
        // A connection from an address that may not be the tablet was refused (closed at once).
        std::function<void(const std::string& address)> refused;
    };

    virtual ~TabletSocket() = default;
    virtual void setEvents(Events events) = 0;
    // Connected while a tablet is connected, else Listening while the port listens.
    virtual State state() const = 0;
    // Stops listening and closes the tablet's connection, letting bytes already sent reach it.
    virtual void close() = 0;
    virtual void setLocalPort(std::int32_t port) = 0;
    virtual std::int32_t localPort() const = 0;
    // Starts listening on the local port; throws std::runtime_error naming the port when it cannot.
    virtual void listen() = 0;
    // Takes the offered connection as the tablet's. A tablet connected before is closed at once and
    // reports nothing more (no close, no error); the listener stays open.
    virtual void accept(std::int32_t requestId) = 0;
    virtual void send(const std::string& bytes) = 0;
    // Everything received and not yet taken.
    virtual std::string takeReceived() = 0;
    // Who may be the tablet, from the next listen(). Each entry is an address ("192.168.1.20", "fe80::1"),
    // a subnet ("192.168.1.0/24") or anyHost. With no entry the port listens on the loopback only
    // (127.0.0.1 and ::1): only a tablet on this computer can connect. With entries it listens on every
    // interface, and a connection from an address they do not name is closed at once and reported through
    // Events::refused, never offered; anyHost admits every address. Throws std::invalid_argument naming
    // the first entry that is none of these; a subnet of length 0 is refused too (anyHost says that).
    virtual void setAllowedPeers(const std::vector<std::string>& peers) = 0;
    static constexpr const char* anyHost = "any";
    // The connected tablet's address, empty while none is connected.
    virtual std::string peerAddress() const = 0;
};

} // namespace veltrum::platform
