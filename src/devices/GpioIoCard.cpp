#include "devices/GpioIoCard.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace veltrum::devices {

GpioIoCard::GpioIoCard(std::unique_ptr<GpioCalls> calls, PortMap map)
    : m_calls(std::move(calls))
    , m_map(std::move(map)) {
    const std::string& chip = m_map.gpioChip;
    if (const int error = m_calls->openChip(chip); error != 0) {
        const std::string prefix =
            "The GPIO chip \"" + chip + "\" cannot be opened: " + std::strerror(error) + ".";
        if (error == EACCES || error == EPERM) {
            const std::string path = chip.starts_with('/') ? chip : "/dev/" + chip;
            const std::string group = m_calls->fileGroup(path);
            if (!group.empty() && group != "root")
                throw std::runtime_error(prefix + " It belongs to the group \"" + group +
                                         "\": add the operator to it (sudo usermod -aG " + group +
                                         " USER) and log in again.");
            throw std::runtime_error(prefix +
                                     " Give the chip a group with a udev rule (for example "
                                     "SUBSYSTEM==\"gpio\", KERNEL==\"gpiochip*\", GROUP=\"gpio\", "
                                     "MODE=\"0660\"), add the operator to that group and log in again.");
        }
        throw std::runtime_error(prefix + " \"gpiodetect\" lists the chips of this machine; name the "
                                          "chamber's one with \"gpio-chip NAME\" in the port map.");
    }
    const unsigned lines = m_calls->lineCount();
    const std::pair<const char*, const CardLine*> entries[] = {
        {"hopper", &m_map.hopper}, {"inter-trial output", &m_map.interTrial}, {"sensor", &m_map.sensor}};
    for (const auto& [name, line] : entries)
        if (line->number >= lines)
            fail(std::string("The port map puts the ") + name + " on line " + std::to_string(line->number) +
                 ", but GPIO chip \"" + chip + "\" has lines 0 to " + std::to_string(lines - 1) +
                 ". Fix the port map (\"gpioinfo " + chip + "\" lists the lines).");
    if (m_map.sensor.number == m_map.hopper.number || m_map.sensor.number == m_map.interTrial.number)
        fail("The port map puts the sensor on line " + std::to_string(m_map.sensor.number) +
             ", which is also an output. Give the sensor a line of its own.");
    for (const auto& [name, line] : entries)
        request(name, *line, line != &m_map.sensor);
}

GpioIoCard::~GpioIoCard() {
    m_calls->closeChip();
}

void GpioIoCard::fail(const std::string& message) {
    m_calls->closeChip();
    throw std::runtime_error(message);
}

void GpioIoCard::request(const char* name, const CardLine& line, bool output) {
    const int error = output ? m_calls->requestOutput(line.number, consumer, line.level(false))
                             : m_calls->requestInput(line.number, consumer);
    if (error == 0)
        return;
    const std::string where = std::string("Line ") + std::to_string(line.number) + " (" + name +
                              ") of GPIO chip \"" + m_map.gpioChip + "\"";
    if (error == EBUSY) {
        const std::string holder = m_calls->lineConsumer(line.number);
        fail(where + " is in use" + (holder.empty() ? "" : " by \"" + holder + "\"") +
             ". Stop the program holding it (\"gpioinfo " + m_map.gpioChip +
             "\" shows who), or move the line in the port map.");
    }
    fail(where + " cannot be requested: " + std::strerror(error) + ".");
}

void GpioIoCard::writeLine(const char* name, const CardLine& line, bool on) {
    if (const int error = m_calls->setLevel(line.number, line.level(on)); error != 0)
        throw std::runtime_error(std::string("The ") + name + " (line " + std::to_string(line.number) +
                                 " of GPIO chip \"" + m_map.gpioChip +
                                 "\") cannot be set: " + std::strerror(error) + ".");
}

std::int16_t GpioIoCard::portRead(std::int32_t, std::int32_t port, std::int32_t) {
    PortMap::requireSensorPort(port);
    bool level = false;
    if (const int error = m_calls->getLevel(m_map.sensor.number, level); error != 0)
        throw std::runtime_error("The sensor (line " + std::to_string(m_map.sensor.number) +
                                 " of GPIO chip \"" + m_map.gpioChip +
                                 "\") cannot be read: " + std::strerror(error) + ".");
    return m_map.sensorValue(level);
}

void GpioIoCard::portWrite(std::int32_t, std::int32_t port, std::int32_t, std::int32_t value) {
    m_map.writeOutputs(PortMap::outputsFor(port, value), [this](const char* name, const CardLine& line,
                                                                bool on) { writeLine(name, line, on); });
}

} // namespace veltrum::devices
