// Who may connect to a port of the program: the tablet's port and the status page's. Written as the
// operator writes it, one entry per line of a settings file or per command-line value: an address
// ("192.168.1.20", "fe80::1"), a subnet ("192.168.1.0/24") or "any". With no entry, the loopback only.
#pragma once

#include <QHostAddress>

#include <string>
#include <utility>
#include <vector>

namespace veltrum::qt {

class HostAllowList {
public:
    static constexpr const char* anyHost = "any";

    // The loopback only.
    HostAllowList() = default;
    // Throws std::invalid_argument naming the first entry that is neither an address, a subnet nor
    // anyHost; a subnet of length 0 is refused too (anyHost says that plainly).
    explicit HostAllowList(const std::vector<std::string>& entries);

    // No entry: a port listens on the loopback only, and every host that reaches it is this computer.
    bool loopbackOnly() const { return m_loopbackOnly; }
    bool admitsEveryHost() const { return m_anyHost; }
    bool admits(const QHostAddress& peer) const;

private:
    bool m_loopbackOnly = true;
    bool m_anyHost = false;
    std::vector<std::pair<QHostAddress, int>> m_subnets; // a single address is a subnet of full length
};

// An IPv4 host seen through a dual-stack listener written as the operator knows it (1.2.3.4).
std::string shownAddress(const QHostAddress& address);
// The address at the other end of an accepted connection; null when it is gone.
QHostAddress peerOfDescriptor(qintptr descriptor);
// Closes a refused connection with a reset: the host learns at once, and nothing of it stays behind
// (no lingering close, no TIME_WAIT on this side).
void resetAndClose(qintptr descriptor);

} // namespace veltrum::qt
