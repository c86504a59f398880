#include "devices/PortMap.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using veltrum::devices::CardLine;
using veltrum::devices::PortMap;
using veltrum::devices::PortMapError;

PortMap read(const std::string& text) {
    std::istringstream in(text);
    return veltrum::devices::readPortMap(in, "/lab/PortMap.txt");
}

TEST(PortMapTest, DefaultIsTheChambersWiring) {
    const PortMap map;
    EXPECT_EQ(map.hopper, (CardLine{1, false}));
    EXPECT_EQ(map.interTrial, (CardLine{6, false}));
    EXPECT_EQ(map.sensor, (CardLine{0, false}));
    EXPECT_EQ(read("# nothing changed\n\n \t# nor here\r\n"), map);
}

TEST(PortMapTest, FileNamesLinesPolarityAndChipAndKeepsTheRest) {
    const PortMap map = read("hopper 17   # relay board\n  sensor 4 active-low\ngpio-chip /dev/gpiochip2\n");
    EXPECT_EQ(map.hopper, (CardLine{17, false}));
    EXPECT_EQ(map.interTrial, (CardLine{6, false}));
    EXPECT_EQ(map.sensor, (CardLine{4, true}));
    EXPECT_EQ(map.gpioChip, "/dev/gpiochip2");
    EXPECT_EQ(map.describe(), "hopper line 17, inter-trial line 6, sensor line 4 (active-low)");
}

TEST(PortMapTest, TranslatesTheThreeOutputValuesAndRefusesTheRest) {
    EXPECT_EQ(PortMap::outputsFor(792, 0), (veltrum::devices::ChamberOutputs{false, false}));
    EXPECT_EQ(PortMap::outputsFor(792, 2), (veltrum::devices::ChamberOutputs{true, false}));
    EXPECT_EQ(PortMap::outputsFor(792, 64), (veltrum::devices::ChamberOutputs{false, true}));
    for (const int value : {0, 2, 64})
        EXPECT_EQ(PortMap::valueOf(PortMap::outputsFor(792, value)), value);
    EXPECT_THROW(PortMap::outputsFor(792, 66), std::invalid_argument);
    EXPECT_THROW(PortMap::outputsFor(780, 0), std::invalid_argument);
    EXPECT_THROW(PortMap::requireSensorPort(792), std::invalid_argument);
}

struct BadMap {
    const char* name;
    const char* text;
    const char* expected; // part of the message besides the file and line
    int line;
};

class PortMapRefusesTest : public ::testing::TestWithParam<BadMap> {};

TEST_P(PortMapRefusesTest, NamesTheFileTheLineAndTheProblem) {
    try {
        read(GetParam().text);
        FAIL() << "accepted: " << GetParam().text;
    } catch (const PortMapError& error) {
        const std::string message = error.what();
        const std::string where =
            "Port map \"/lab/PortMap.txt\", line " + std::to_string(GetParam().line) + ":";
        EXPECT_EQ(message.rfind(where, 0), 0u) << message;
        EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
        EXPECT_NE(message.find("Each line reads"), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PortMapRefusesTest,
    ::testing::Values(BadMap{"UnknownEntry", "hopper 1\nhoper 2\n", "\"hoper\" is not an entry", 2},
                      BadMap{"MissingNumber", "sensor\n", "needs a line number", 1},
                      BadMap{"NegativeNumber", "sensor -1\n", "needs a line number", 1},
                      BadMap{"WordAfterNumber", "\n\nsensor 3 inverted\n", "only \"active-low\"", 3},
                      BadMap{"GivenTwice", "sensor 3\nsensor 4\n", "second time", 2},
                      BadMap{"ChipWithoutName", "gpio-chip\n", "exactly one name", 1},
                      BadMap{"OutputsOnOneLine", "inter-trial 2\n# moved\nhopper 2\n", "both on line 2", 3},
                      BadMap{"InterTrialOnDefaultHopperLine", "inter-trial 1\n", "both on line 1", 1}),
    [](const ::testing::TestParamInfo<BadMap>& info) { return std::string(info.param.name); });

TEST(PortMapTest, MissingFileSaysHowToGoOn) {
    try {
        veltrum::devices::loadPortMap("/nonexistent/PortMap.txt");
        FAIL() << "a missing port map was read";
    } catch (const PortMapError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("/nonexistent/PortMap.txt"), std::string::npos) << message;
        EXPECT_NE(message.find("--port-map"), std::string::npos) << message;
    }
}

} // namespace
