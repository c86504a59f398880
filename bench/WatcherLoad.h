// Clients of the status server for the benchmarks, on a thread of their own (never the chamber's):
// event-stream watchers that read every update, connections that say nothing, and a slowloris client
// that feeds a request line a byte every 100 ms and never finishes it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace veltrum::bench {

class WatcherLoad {
public:
    WatcherLoad(std::uint16_t port, int watchers, int idle, bool slowloris)
        : m_port(port) {
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        // The watchers first, so the idle connections do not take their places; each from an address of
        // its own on the loopback, as browsers on other computers would be.
        for (int i = 0; i < watchers; ++i) {
            const int fd = open(127, 0, 0, static_cast<std::uint8_t>(10 + i), true);
            if (fd >= 0) {
                const char* request =
                    "GET /events HTTP/1.1\r\nHost: chamber\r\nAccept: text/event-stream\r\n\r\n";
                ::send(fd, request, std::strlen(request), MSG_NOSIGNAL);
                m_watchers.push_back(fd);
            }
        }
        for (int i = 0; i < idle; ++i) {
            const int fd = open(127, 0, 0, 1, false);
            if (fd >= 0)
                m_idle.push_back(fd);
        }
        if (slowloris)
            m_slow = open(127, 0, 0, 2, true);
        m_thread = std::thread([this] { run(); });
    }
    ~WatcherLoad() {
        m_stop = true;
        m_thread.join();
        for (const int fd : m_watchers)
            ::close(fd);
        for (const int fd : m_idle)
            ::close(fd);
        if (m_slow >= 0)
            ::close(m_slow);
    }
    WatcherLoad(const WatcherLoad&) = delete;
    WatcherLoad& operator=(const WatcherLoad&) = delete;

    std::uint64_t bytesRead() const { return m_bytes; }
    int watchers() const { return static_cast<int>(m_watchers.size()); }

private:
    int open(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, bool wait) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | (wait ? 0 : SOCK_NONBLOCK), 0);
        if (fd < 0)
            return -1;
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr =
            htonl((std::uint32_t(a) << 24) | (std::uint32_t(b) << 16) | (std::uint32_t(c) << 8) | d);
        ::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        return fd;
    }

    void run() {
        std::vector<pollfd> polled;
        for (const int fd : m_watchers)
            polled.push_back({fd, POLLIN, 0});
        char buffer[65536];
        auto nextByte = std::chrono::steady_clock::now();
        bool slowStarted = false;
        while (!m_stop) {
            ::poll(polled.data(), polled.size(), 20);
            for (pollfd& p : polled)
                if (p.revents & POLLIN) {
                    const ssize_t n = ::recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                    if (n > 0)
                        m_bytes += static_cast<std::uint64_t>(n);
                }
            if (m_slow >= 0 && std::chrono::steady_clock::now() >= nextByte) {
                const char* part = slowStarted ? "a" : "GET / HTTP/1.1\r\nX-Slow: ";
                ::send(m_slow, part, std::strlen(part), MSG_NOSIGNAL | MSG_DONTWAIT);
                slowStarted = true;
                nextByte += std::chrono::milliseconds(100);
            }
        }
    }

    std::uint16_t m_port;
    std::vector<int> m_watchers;
    std::vector<int> m_idle;
    int m_slow = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_bytes{0};
    std::thread m_thread;
};

} // namespace veltrum::bench
