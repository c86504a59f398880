// Connections that say nothing, opened without waiting (plain non-blocking sockets: each is one TCP
// connection attempt, whatever the server does with it), closed with the object.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace veltrum::testing {

class IdleConnections {
public:
    IdleConnections(std::uint16_t port, int count) {
        // A thousand connections need more descriptors than a process has by default.
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (fd < 0)
                break;
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            m_fds.push_back(fd);
        }
    }
    ~IdleConnections() {
        for (const int fd : m_fds)
            ::close(fd);
    }
    IdleConnections(const IdleConnections&) = delete;
    IdleConnections& operator=(const IdleConnections&) = delete;
    std::size_t size() const { return m_fds.size(); }

private:
    std::vector<int> m_fds;
};

} // namespace veltrum::testing
