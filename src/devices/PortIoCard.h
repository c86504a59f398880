// The chamber's digital I/O card reached through the processor's I/O ports (x86 Linux): hopper output
// on port 792, head-entry input on port 780.
#pragma once

#include "platform/IoCard.h"

#include <cstdint>
#include <functional>

namespace veltrum::devices {

// The three system calls the card needs; the real ones by default, stand-ins in tests.
struct PortAccess {
    // Grants (on = 1) access to count ports from `from`; 0 on success, -1 with errno set on failure.
    std::function<int(unsigned long from, unsigned long count, int on)> permit;
    std::function<std::uint8_t(std::uint16_t port)> in;
    std::function<void(std::uint8_t value, std::uint16_t port)> out;
};

// ioperm, inb and outb of the running system; on processors without I/O ports every call fails.
PortAccess systemPortAccess();

// Access to both ports is asked for at the first port call, not at start-up, so a hardware-free
// session never needs it; a refusal is a std::runtime_error telling the operator how to grant it, and
// the next call asks again. The card number, the read mode and the write mode are not used by this
// card. Only ports 780 and 792 are touched, and only 8-bit values are written: anything else throws
// std::invalid_argument without reaching the hardware.
class PortIoCard : public platform::IoCard {
public:
    static constexpr std::int32_t inputPort = 780;
    static constexpr std::int32_t outputPort = 792;

    explicit PortIoCard(PortAccess access = systemPortAccess());

    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override;
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override;

private:
    void bind();
    static void requireCardPort(std::int32_t port);

    PortAccess m_access;
    bool m_bound = false;
};

} // namespace veltrum::devices
