// The chamber's digital I/O card reached through the processor's I/O ports (x86 Linux): the outputs on
// port 792 and the head-entry sensor on port 780, each on the bit the port map gives.
#pragma once

#include "devices/PortMap.h"
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
// card. The session's port values are translated through the port map: a write sets the hopper and
// inter-trial bits of port 792 (the other bits 0), a read gives 1 while the sensor bit of port 780 says a
// head is in, whatever the other bits hold. Other ports or values throw std::invalid_argument without
// reaching the hardware; a map with a line above 7 is refused at construction.
class PortIoCard : public platform::IoCard {
public:
    explicit PortIoCard(PortAccess access = systemPortAccess(), PortMap map = {});

    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override;
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override;

private:
    void bind();
    PortAccess m_access;
    PortMap m_map;
    bool m_bound = false;
};

} // namespace veltrum::devices
