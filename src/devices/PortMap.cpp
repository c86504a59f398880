#include "devices/PortMap.h"

#include "platform/SettingsLine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace veltrum::devices {

namespace {

constexpr const char* entryForms =
    "Each line reads \"hopper N\", \"inter-trial N\" or \"sensor N\" (N a line number from 0, optionally "
    "followed by \"active-low\"), or \"gpio-chip NAME\"; \"#\" starts a comment.";

std::string lineText(const CardLine& line) {
    return std::to_string(line.number) + (line.activeLow ? " (active-low)" : "");
}

bool parseNumber(const std::string& word, unsigned& number) {
    if (word.empty() || word.size() > 4 || word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    number = static_cast<unsigned>(std::stoul(word));
    return true;
}

} // namespace

ChamberOutputs PortMap::outputsFor(std::int32_t port, std::int32_t value) {
    if (port != chamber::outputPort)
        throw std::invalid_argument("I/O port " + std::to_string(port) +
                                    " is not an output of the chamber's card (" +
                                    std::to_string(chamber::outputPort) + ").");
    switch (value) {
    case chamber::allOff:
        return {false, false};
    case chamber::hopperRaised:
        return {true, false};
    case chamber::interTrialOutput:
        return {false, true};
    default:
        throw std::invalid_argument("Value " + std::to_string(value) + " is not a state of output port " +
                                    std::to_string(port) + " (0, 2 or 64).");
    }
}

std::int32_t PortMap::valueOf(ChamberOutputs outputs) {
    return (outputs.hopper ? chamber::hopperRaised : 0) |
           (outputs.interTrial ? chamber::interTrialOutput : 0);
}

void PortMap::requireSensorPort(std::int32_t port) {
    if (port != chamber::sensorPort)
        throw std::invalid_argument("I/O port " + std::to_string(port) +
                                    " is not an input of the chamber's card (" +
                                    std::to_string(chamber::sensorPort) + ").");
}

std::string PortMap::describe() const {
    return "hopper line " + lineText(hopper) + ", inter-trial line " + lineText(interTrial) +
           ", sensor line " + lineText(sensor);
}

PortMap readPortMap(std::istream& text, const std::string& name) {
    PortMap map;
    std::set<std::string> seen;
    int lineNumber = 0;
    int hopperLine = 0;
    int interTrialLine = 0;
    const auto fail = [&](const std::string& problem) {
        throw PortMapError("Port map \"" + name + "\", line " + std::to_string(lineNumber) + ": " + problem +
                           " " + entryForms);
    };
    for (std::string line; std::getline(text, line);) {
        ++lineNumber;
        if (platform::isSkippedSettingsLine(line))
            continue;
        // An entry may also end with a comment ("hopper 17  # relay board").
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> word;
        for (std::string w; words >> w;)
            word.push_back(w);
        if (word.empty())
            continue;
        const std::string& key = word[0];
        if (key != "hopper" && key != "inter-trial" && key != "sensor" && key != "gpio-chip")
            fail("\"" + key + "\" is not an entry of the port map.");
        if (!seen.insert(key).second)
            fail("\"" + key + "\" is given a second time.");
        if (key == "gpio-chip") {
            if (word.size() != 2)
                fail("\"gpio-chip\" needs exactly one name (as gpiodetect lists it, or a path under /dev).");
            map.gpioChip = word[1];
            continue;
        }
        CardLine entry;
        if (word.size() < 2 || !parseNumber(word[1], entry.number))
            fail("\"" + key + "\" needs a line number from 0 to 9999.");
        if (word.size() > 3 || (word.size() == 3 && word[2] != "active-low"))
            fail("after the line number of \"" + key + "\" only \"active-low\" may follow.");
        entry.activeLow = word.size() == 3;
        if (key == "hopper") {
            map.hopper = entry;
            hopperLine = lineNumber;
        } else if (key == "inter-trial") {
            map.interTrial = entry;
            interTrialLine = lineNumber;
        } else {
            map.sensor = entry;
        }
    }
    if (map.hopper.number == map.interTrial.number) {
        lineNumber = std::max(hopperLine, interTrialLine);
        fail("the hopper and the inter-trial output are both on line " + std::to_string(map.hopper.number) +
             "; give them two lines.");
    }
    return map;
}

PortMap loadPortMap(const std::string& path) {
    std::ifstream file(path);
    if (!file)
        throw PortMapError("Port map \"" + path + "\" cannot be read: " + std::strerror(errno) +
                           ". Give an existing file with --port-map, or leave the option out for the default "
                           "map (hopper line 1, inter-trial line 6, sensor line 0).");
    return readPortMap(file, path);
}

} // namespace veltrum::devices
