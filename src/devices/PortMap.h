// The chamber's port values as the session writes and reads them, and the port map: which line of a
// card carries the hopper, the inter-trial output and the head-entry sensor.
#pragma once

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>

namespace veltrum::devices {

// What the session passes through IoCard::portWrite and expects from IoCard::portRead. Every card
// takes these values and translates them to its own lines through the port map.
namespace chamber {
inline constexpr std::int32_t outputPort = 792;
inline constexpr std::int32_t sensorPort = 780;
inline constexpr std::int32_t allOff = 0;            // hopper lowered, inter-trial output off
inline constexpr std::int32_t hopperRaised = 2;      // food available
inline constexpr std::int32_t interTrialOutput = 64; // inter-trial output on, hopper lowered
inline constexpr std::int16_t headIn = 1;            // a head interrupts the beam at the hopper opening
inline constexpr std::int16_t noHead = 0;
} // namespace chamber

// One line of a card: its number (a bit of a port, a Comedi channel or a GPIO line offset) and whether
// it is driven or read inverted.
struct CardLine {
    unsigned number = 0;
    bool activeLow = false;

    // The electrical level that stands for `on` on this line.
    bool level(bool on) const { return on != activeLow; }
    bool operator==(const CardLine&) const = default;
};

// The state of the two outputs that one value of the output port stands for.
struct ChamberOutputs {
    bool hopper = false;
    bool interTrial = false;
    bool operator==(const ChamberOutputs&) const = default;
};

struct PortMap {
    CardLine hopper{1, false};
    CardLine interTrial{6, false};
    CardLine sensor{0, false};
    std::string gpioChip = "gpiochip0";

    // The outputs a write of value to port stands for. Throws std::invalid_argument for any port but the
    // output port and any value but the three the session writes, before a card touches its hardware.
    static ChamberOutputs outputsFor(std::int32_t port, std::int32_t value);
    // The output port's value for a state of the outputs (the last write, as the session sees it).
    static std::int32_t valueOf(ChamberOutputs outputs);
    // Sets the two output lines for outputs through writeLine(name, line, on), the line going off first so
    // the two outputs are never on together.
    template <typename WriteLine>
    void writeOutputs(ChamberOutputs outputs, WriteLine&& writeLine) const {
        if (!outputs.hopper)
            writeLine("hopper", hopper, false);
        if (!outputs.interTrial)
            writeLine("inter-trial output", interTrial, false);
        if (outputs.hopper)
            writeLine("hopper", hopper, true);
        if (outputs.interTrial)
            writeLine("inter-trial output", interTrial, true);
    }
    // Throws std::invalid_argument unless port is the sensor port.
    static void requireSensorPort(std::int32_t port);
    // What portRead gives for the sensor line at level: 1 for a head in the opening, else 0.
    std::int16_t sensorValue(bool level) const {
        return level == sensor.level(true) ? chamber::headIn : chamber::noHead;
    }
    // "hopper line 1, inter-trial line 6, sensor line 0 (active-low)", for messages and the check command.
    std::string describe() const;
    bool operator==(const PortMap&) const = default;
};

// A port map file that cannot be used; the message names the file, the line and what to write there.
class PortMapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a port map from text; name is the file named in messages. Entries not given keep their default.
// Lines read "hopper N", "inter-trial N" or "sensor N", each optionally followed by "active-low", and
// "gpio-chip NAME"; blank and comment lines are skipped as in every settings file, and "#" after an entry
// starts a comment too. Throws PortMapError.
PortMap readPortMap(std::istream& text, const std::string& name);
// Reads the port map file at path. Throws PortMapError, also when the file cannot be opened.
PortMap loadPortMap(const std::string& path);

} // namespace veltrum::devices
