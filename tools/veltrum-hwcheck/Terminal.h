// The check's keyboard: the terminal in raw mode (keys without Enter, no echo) while the check runs, or
// standard input as it comes when it is not a terminal; Ctrl-C and SIGTERM end the check cleanly.
#pragma once

#include <optional>
#include <string>

#include <termios.h>

namespace veltrum::tools {

class Terminal {
public:
    Terminal();
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // The keys that came within timeoutMs (maybe none); nullopt once standard input has ended.
    std::optional<std::string> waitForKeys(int timeoutMs);
    bool interrupted() const;

private:
    bool m_raw = false;
    bool m_ended = false;
    termios m_saved{};
};

} // namespace veltrum::tools
