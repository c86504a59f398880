// The chamber's card reached through Comedi (PCI, USB and ISA digital I/O boards, 8255-based ones
// included): one digital I/O subdevice whose channels are the port map's lines.
#pragma once

#include "devices/PortMap.h"
#include "platform/IoCard.h"

#include <memory>
#include <optional>
#include <string>

namespace veltrum::devices {

enum class ComediSubdeviceKind { Missing, DigitalInputOutput, DigitalInput, DigitalOutput, Other };

// The calls into libcomedi the card makes, on one device; the library by default, a fake in tests.
// Calls that can fail return 0 on success or an error number (errno values for the system's errors).
class ComediCalls {
public:
    virtual ~ComediCalls() = default;
    // Opens the device file.
    virtual int open(const std::string& path) = 0;
    // Closes the device opened last; nothing when none is open.
    virtual void close() = 0;
    virtual unsigned subdeviceCount() = 0;
    virtual ComediSubdeviceKind subdeviceKind(unsigned subdevice) = 0;
    virtual unsigned channelCount(unsigned subdevice) = 0;
    // Makes channel an output (true) or an input (false).
    virtual int configure(unsigned subdevice, unsigned channel, bool output) = 0;
    virtual int write(unsigned subdevice, unsigned channel, bool level) = 0;
    virtual int read(unsigned subdevice, unsigned channel, bool& level) = 0;
    // The text of an error number, as the library words it.
    virtual std::string errorText(int error) = 0;
    // The name of the group owning the file at path; empty when unknown.
    virtual std::string fileGroup(const std::string& path) = 0;
};

std::unique_ptr<ComediCalls> systemComedi();

// Opens the device and sets the map's lines up as channels of the subdevice (the first digital I/O
// subdevice when none is given): hopper and inter-trial as outputs, the sensor as an input. Every failure
// there is a std::runtime_error saying what to do, and leaves the device closed. Port values are then
// translated through the map; a channel that fails mid-session is a std::runtime_error naming it.
// The device is closed with the card; the outputs keep their last state.
class ComediIoCard : public platform::IoCard {
public:
    ComediIoCard(std::unique_ptr<ComediCalls> calls, std::string device, std::optional<unsigned> subdevice,
                 PortMap map = {});
    ~ComediIoCard() override;
    ComediIoCard(const ComediIoCard&) = delete;
    ComediIoCard& operator=(const ComediIoCard&) = delete;

    unsigned subdevice() const { return m_subdevice; }

    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override;
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override;

private:
    [[noreturn]] void fail(const std::string& message);
    unsigned chooseSubdevice(std::optional<unsigned> subdevice);
    void writeLine(const char* name, const CardLine& line, bool on);

    std::unique_ptr<ComediCalls> m_calls;
    std::string m_device;
    PortMap m_map;
    unsigned m_subdevice = 0;
};

} // namespace veltrum::devices
