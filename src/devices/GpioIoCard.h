// The chamber's card on a board's GPIO lines (libgpiod): the chip and the line offsets come from the port
// map.
#pragma once

#include "devices/PortMap.h"
#include "platform/IoCard.h"

#include <memory>
#include <string>
#include <vector>

namespace veltrum::devices {

// The calls into libgpiod the card makes, on one chip; the library by default, a fake in tests.
// Calls that can fail return 0 on success or an errno value.
class GpioCalls {
public:
    virtual ~GpioCalls() = default;
    // Opens a chip by name ("gpiochip0"), number, label or path.
    virtual int openChip(const std::string& chip) = 0;
    // Releases every requested line and closes the chip; nothing when none is open.
    virtual void closeChip() = 0;
    virtual unsigned lineCount() = 0;
    virtual int requestOutput(unsigned offset, const std::string& consumer, bool level) = 0;
    virtual int requestInput(unsigned offset, const std::string& consumer) = 0;
    // The program holding line offset, as it named itself; empty when unknown.
    virtual std::string lineConsumer(unsigned offset) = 0;
    virtual int setLevel(unsigned offset, bool level) = 0;
    virtual int getLevel(unsigned offset, bool& level) = 0;
    // The name of the group owning the file at path; empty when unknown.
    virtual std::string fileGroup(const std::string& path) = 0;
};

std::unique_ptr<GpioCalls> systemGpio();

// Opens the port map's chip and requests its three lines under the consumer name "veltrum": hopper and
// inter-trial as outputs starting off, the sensor as an input. Every failure there is a
// std::runtime_error saying what to do, and leaves no line requested and the chip closed. Port values
// are then translated through the map. The card releases its lines and closes the chip when it goes.
class GpioIoCard : public platform::IoCard {
public:
    static constexpr const char* consumer = "veltrum";

    explicit GpioIoCard(std::unique_ptr<GpioCalls> calls, PortMap map = {});
    ~GpioIoCard() override;
    GpioIoCard(const GpioIoCard&) = delete;
    GpioIoCard& operator=(const GpioIoCard&) = delete;

    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override;
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override;

private:
    [[noreturn]] void fail(const std::string& message);
    void request(const char* name, const CardLine& line, bool output);
    void writeLine(const char* name, const CardLine& line, bool on);

    std::unique_ptr<GpioCalls> m_calls;
    PortMap m_map;
};

} // namespace veltrum::devices
