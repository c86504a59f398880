#include "Terminal.h"

#include <cerrno>
#include <csignal>

#include <poll.h>
#include <unistd.h>

namespace veltrum::tools {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

} // namespace

Terminal::Terminal() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &m_saved) == 0) {
        termios raw = m_saved;
        // Keys arrive one by one without echo; ISIG stays on so Ctrl-C still ends the check.
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        m_raw = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
}

Terminal::~Terminal() {
    if (m_raw)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
}

bool Terminal::interrupted() const {
    return stopRequested != 0;
}

std::optional<std::string> Terminal::waitForKeys(int timeoutMs) {
    if (m_ended) {
        // Input is over: the check runs on (to its --duration), reading the sensor at the same pace.
        pollfd none{-1, 0, 0};
        ::poll(&none, 1, timeoutMs);
        return std::nullopt;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&input, 1, timeoutMs);
    if (ready <= 0)
        return std::string();
    char buffer[64];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count > 0)
        return std::string(buffer, static_cast<std::size_t>(count));
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return std::string();
    m_ended = true;
    return std::nullopt;
}

} // namespace veltrum::tools
