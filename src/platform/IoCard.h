// The digital I/O card: the chamber's hopper output and head-entry input.
#pragma once

#include <cstdint>

namespace veltrum::platform {

class IoCard {
public:
    virtual ~IoCard() = default;
    // State of input port `port`; the session calls it as portRead(1, 780, -1).
    virtual std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) = 0;
    // Sets output port `port` to value; the session calls it as portWrite(1, 792, 0, value).
    virtual void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) = 0;
};

} // namespace veltrum::platform
