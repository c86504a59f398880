// The controller's display messages read out of the bytes the tablet receives.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::tablet {

// Picture number per position 1..6 (index 0..5); 0 is an empty position.
using Display = std::array<int, 6>;

// A display message is six picture numbers joined by commas with nothing around it, so two messages
// that arrive together run into each other ("0,7,0,0,0,00,0,0,0,0,0"). Picture numbers are single
// digits, so where the sixth field runs on into a comma the message ends after its first digit. A
// message ends at the end of what has arrived once its sixth field has begun; a shorter rest waits for
// the next bytes. Malformed messages are skipped; at most maxPendingBytes are kept.
class DisplayStream {
public:
    static constexpr std::size_t maxPendingBytes = 256;

    // Adds received bytes and returns the messages they complete, oldest first.
    std::vector<Display> feed(std::string_view bytes);
    // Bytes kept for a message not yet complete.
    const std::string& pending() const { return m_pending; }
    void clear() { m_pending.clear(); }

private:
    std::string m_pending;
};

} // namespace veltrum::tablet
