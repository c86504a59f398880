#include "devices/PortIoCard.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define VELTRUM_HAS_PORT_IO 1
#endif

namespace veltrum::devices {

PortAccess systemPortAccess() {
#ifdef VELTRUM_HAS_PORT_IO
    return {[](unsigned long from, unsigned long count, int on) { return ::ioperm(from, count, on); },
            [](std::uint16_t port) { return static_cast<std::uint8_t>(::inb(port)); },
            [](std::uint8_t value, std::uint16_t port) { ::outb(value, port); }};
#else
    return {[](unsigned long, unsigned long, int) {
                errno = ENOSYS;
                return -1;
            },
            [](std::uint16_t) -> std::uint8_t { throw std::logic_error("no I/O ports on this processor"); },
            [](std::uint8_t, std::uint16_t) { throw std::logic_error("no I/O ports on this processor"); }};
#endif
}

PortIoCard::PortIoCard(PortAccess access)
    : m_access(std::move(access)) {}

void PortIoCard::requireCardPort(std::int32_t port) {
    if (port != inputPort && port != outputPort)
        throw std::invalid_argument("I/O port " + std::to_string(port) +
                                    " is not a port of the chamber's card (" + std::to_string(inputPort) +
                                    " in, " + std::to_string(outputPort) + " out).");
}

void PortIoCard::bind() {
    if (m_bound)
        return;
    for (const std::int32_t port : {inputPort, outputPort}) {
        if (m_access.permit(static_cast<unsigned long>(port), 1, 1) != 0) {
            const int error = errno;
            throw std::runtime_error(
                "The I/O card cannot be used: access to I/O port " + std::to_string(port) + " was refused (" +
                std::strerror(error) +
                "). Run veltrum as root, or grant it CAP_SYS_RAWIO once with "
                "\"sudo setcap cap_sys_rawio+ep <path of veltrum>\"; to run without the card, tick "
                "\"click to run without hardware\" or start veltrum with --card simulated.");
        }
    }
    m_bound = true;
}

std::int16_t PortIoCard::portRead(std::int32_t, std::int32_t port, std::int32_t) {
    requireCardPort(port);
    bind();
    return static_cast<std::int16_t>(m_access.in(static_cast<std::uint16_t>(port)));
}

void PortIoCard::portWrite(std::int32_t, std::int32_t port, std::int32_t, std::int32_t value) {
    requireCardPort(port);
    // The output port is eight lines wide: a wider value would lose its upper bits on the way out.
    if (value < 0 || value > 0xFF)
        throw std::invalid_argument("Value " + std::to_string(value) + " does not fit I/O port " +
                                    std::to_string(port) + " (0 to 255).");
    bind();
    m_access.out(static_cast<std::uint8_t>(value), static_cast<std::uint16_t>(port));
}

} // namespace veltrum::devices
