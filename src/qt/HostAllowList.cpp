#include "qt/HostAllowList.h"

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace veltrum::qt {

HostAllowList::HostAllowList(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        const QString text = QString::fromStdString(entry).trimmed();
        if (text == QLatin1String(anyHost)) {
            m_anyHost = true;
            continue;
        }
        std::pair<QHostAddress, int> subnet = QHostAddress::parseSubnet(text);
        if (!text.contains(QLatin1Char('/'))) {
            const QHostAddress address(text);
            subnet = {address, address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        }
        if (subnet.first.isNull() || subnet.second < 0)
            throw std::invalid_argument(
                "\"" + entry + "\" is neither an address (192.168.1.20) nor a subnet (192.168.1.0/24)");
        if (subnet.second == 0)
            throw std::invalid_argument("\"" + entry + "\" admits every host; write \"" + anyHost +
                                        "\" if that is meant");
        m_subnets.push_back(subnet);
    }
    m_loopbackOnly = entries.empty();
}

bool HostAllowList::admits(const QHostAddress& peer) const {
    // Listening on the loopback only, every host that reaches the port is this computer.
    if (m_loopbackOnly || m_anyHost)
        return true;
    // A connection to an IPv6 socket from an IPv4 host shows its address mapped (::ffff:a.b.c.d).
    bool mapped = false;
    const QHostAddress plain(peer.toIPv4Address(&mapped));
    for (const auto& [network, length] : m_subnets)
        if (peer.isInSubnet(network, length) || (mapped && plain.isInSubnet(network, length)))
            return true;
    return false;
}

std::string shownAddress(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return (mapped ? QHostAddress(v4) : address).toString().toStdString();
}

QHostAddress peerOfDescriptor(qintptr descriptor) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&peer));
}

void resetAndClose(qintptr descriptor) {
    const linger reset{1, 0};
    ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(static_cast<int>(descriptor));
}

} // namespace veltrum::qt
