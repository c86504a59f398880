#include "devices/ComediIoCard.h"

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace veltrum::devices {

namespace {

const char* kindName(ComediSubdeviceKind kind) {
    switch (kind) {
    case ComediSubdeviceKind::Missing:
        return "the device has no such subdevice";
    case ComediSubdeviceKind::DigitalInputOutput:
        return "digital I/O";
    case ComediSubdeviceKind::DigitalInput:
        return "it is digital input only";
    case ComediSubdeviceKind::DigitalOutput:
        return "it is digital output only";
    case ComediSubdeviceKind::Other:
        break;
    }
    return "it is analog, counter or another kind";
}

} // namespace

ComediIoCard::ComediIoCard(std::unique_ptr<ComediCalls> calls, std::string device,
                           std::optional<unsigned> subdevice, PortMap map)
    : m_calls(std::move(calls))
    , m_device(std::move(device))
    , m_map(std::move(map)) {
    if (const int error = m_calls->open(m_device); error != 0) {
        const std::string prefix =
            "The Comedi device \"" + m_device + "\" cannot be opened: " + m_calls->errorText(error);
        if (error == ENOENT || error == ENODEV || error == ENXIO)
            throw std::runtime_error(prefix +
                                     ". Check that the board's Comedi driver is loaded and configured "
                                     "(ls /dev/comedi*; comedi_config for ISA boards), and give the device "
                                     "with --comedi-device.");
        if (error == EACCES || error == EPERM) {
            const std::string group = m_calls->fileGroup(m_device);
            if (!group.empty() && group != "root")
                throw std::runtime_error(prefix + ". The device belongs to the group \"" + group +
                                         "\": add the operator to it (sudo usermod -aG " + group +
                                         " USER) and log in again.");
            throw std::runtime_error(prefix + ". Give the device a group with a udev rule (for example "
                                              "KERNEL==\"comedi*\", GROUP=\"iocard\", MODE=\"0660\" in "
                                              "/etc/udev/rules.d/60-comedi.rules), add the operator to that "
                                              "group and log in again.");
        }
        throw std::runtime_error(prefix + ".");
    }
    m_subdevice = chooseSubdevice(subdevice);
    const unsigned channels = m_calls->channelCount(m_subdevice);
    const std::pair<const char*, const CardLine*> lines[] = {
        {"hopper", &m_map.hopper}, {"inter-trial output", &m_map.interTrial}, {"sensor", &m_map.sensor}};
    for (const auto& [name, line] : lines) {
        if (line->number >= channels)
            fail(std::string("The port map puts the ") + name + " on channel " +
                 std::to_string(line->number) + ", but subdevice " + std::to_string(m_subdevice) + " of \"" +
                 m_device + "\" has channels 0 to " + std::to_string(channels - 1) + ". Fix the port map.");
    }
    if (m_map.sensor.number == m_map.hopper.number || m_map.sensor.number == m_map.interTrial.number)
        fail("The port map puts the sensor on channel " + std::to_string(m_map.sensor.number) +
             ", which is also an output. Give the sensor a channel of its own.");
    for (const auto& [name, line] : lines) {
        const bool output = line != &m_map.sensor;
        if (const int error = m_calls->configure(m_subdevice, line->number, output); error != 0)
            fail(std::string("Channel ") + std::to_string(line->number) + " (" + name + ") of \"" + m_device +
                 "\" cannot be made an " + (output ? "output" : "input") + ": " + m_calls->errorText(error) +
                 ". Check the port map against the board's channels.");
    }
}

ComediIoCard::~ComediIoCard() {
    m_calls->close();
}

void ComediIoCard::fail(const std::string& message) {
    m_calls->close();
    throw std::runtime_error(message);
}

unsigned ComediIoCard::chooseSubdevice(std::optional<unsigned> subdevice) {
    const std::string listing = " (\"comedi_board_info " + m_device + "\" lists them)";
    if (subdevice) {
        const ComediSubdeviceKind kind = m_calls->subdeviceKind(*subdevice);
        if (kind == ComediSubdeviceKind::DigitalInputOutput)
            return *subdevice;
        fail("Subdevice " + std::to_string(*subdevice) + " of \"" + m_device + "\" is not digital I/O (" +
             kindName(kind) + "). Give a digital I/O subdevice with --comedi-subdevice" + listing + ".");
    }
    const unsigned count = m_calls->subdeviceCount();
    for (unsigned candidate = 0; candidate < count; ++candidate)
        if (m_calls->subdeviceKind(candidate) == ComediSubdeviceKind::DigitalInputOutput)
            return candidate;
    fail("\"" + m_device + "\" has no digital I/O subdevice" + listing +
         ". Check that --comedi-device names the chamber's board.");
}

void ComediIoCard::writeLine(const char* name, const CardLine& line, bool on) {
    if (const int error = m_calls->write(m_subdevice, line.number, line.level(on)); error != 0)
        throw std::runtime_error(std::string("The ") + name + " (channel " + std::to_string(line.number) +
                                 " of \"" + m_device + "\") cannot be set: " + m_calls->errorText(error) +
                                 ".");
}

std::int16_t ComediIoCard::portRead(std::int32_t, std::int32_t port, std::int32_t) {
    PortMap::requireSensorPort(port);
    bool level = false;
    if (const int error = m_calls->read(m_subdevice, m_map.sensor.number, level); error != 0)
        throw std::runtime_error("The sensor (channel " + std::to_string(m_map.sensor.number) + " of \"" +
                                 m_device + "\") cannot be read: " + m_calls->errorText(error) + ".");
    return m_map.sensorValue(level);
}

void ComediIoCard::portWrite(std::int32_t, std::int32_t port, std::int32_t, std::int32_t value) {
    m_map.writeOutputs(PortMap::outputsFor(port, value), [this](const char* name, const CardLine& line,
                                                                bool on) { writeLine(name, line, on); });
}

} // namespace veltrum::devices
