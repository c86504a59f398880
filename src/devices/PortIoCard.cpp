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

PortIoCard::PortIoCard(PortAccess access, PortMap map)
    : m_access(std::move(access))
    , m_map(std::move(map)) {
    for (const auto& [name, line] :
         {std::pair{"hopper", m_map.hopper}, std::pair{"inter-trial", m_map.interTrial},
          std::pair{"sensor", m_map.sensor}})
        if (line.number > 7)
            throw std::runtime_error(
                std::string("The port card has eight lines per port (0 to 7), but the port "
                            "map puts the ") +
                name + " on line " + std::to_string(line.number) + ". Fix the port map.");
}

void PortIoCard::bind() {
    if (m_bound)
        return;
    for (const std::int32_t port : {chamber::sensorPort, chamber::outputPort}) {
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
    PortMap::requireSensorPort(port);
    bind();
    const std::uint8_t input = m_access.in(static_cast<std::uint16_t>(port));
    return m_map.sensorValue(((input >> m_map.sensor.number) & 1U) != 0);
}

void PortIoCard::portWrite(std::int32_t, std::int32_t port, std::int32_t, std::int32_t value) {
    const ChamberOutputs outputs = PortMap::outputsFor(port, value);
    bind();
    unsigned byte = 0;
    if (m_map.hopper.level(outputs.hopper))
        byte |= 1U << m_map.hopper.number;
    if (m_map.interTrial.level(outputs.interTrial))
        byte |= 1U << m_map.interTrial.number;
    m_access.out(static_cast<std::uint8_t>(byte), static_cast<std::uint16_t>(port));
}

} // namespace veltrum::devices
