#include "devices/PortIoCard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using veltrum::devices::PortAccess;
using veltrum::devices::PortIoCard;

// Stand-ins for ioperm, inb and outb that record what the card asks of them.
struct FakePorts {
    std::vector<unsigned long> permitted;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> written;
    std::uint8_t input = 0;
    int refusals = 0; // permit calls still to refuse with EPERM

    PortAccess access() {
        return {[this](unsigned long from, unsigned long count, int on) {
                    EXPECT_EQ(count, 1u);
                    EXPECT_EQ(on, 1);
                    if (refusals > 0) {
                        --refusals;
                        errno = EPERM;
                        return -1;
                    }
                    permitted.push_back(from);
                    return 0;
                },
                [this](std::uint16_t) { return input; },
                [this](std::uint8_t value, std::uint16_t port) { written.emplace_back(port, value); }};
    }
};

TEST(PortIoCardTest, AsksForBothPortsOnceAtTheFirstCall) {
    FakePorts ports;
    PortIoCard card(ports.access());
    EXPECT_TRUE(ports.permitted.empty());
    card.portWrite(1, 792, 0, 64);
    ports.input = 1;
    EXPECT_EQ(card.portRead(1, 780, -1), 1);
    card.portWrite(1, 792, 0, 2);
    EXPECT_EQ(ports.permitted, (std::vector<unsigned long>{780, 792}));
    EXPECT_EQ(ports.written, (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{792, 64}, {792, 2}}));
}

TEST(PortIoCardTest, ReadGivesTheSensorBitWhateverTheOtherInputsHold) {
    FakePorts ports;
    PortIoCard card(ports.access());
    ports.input = 0xFE;
    EXPECT_EQ(card.portRead(1, 780, -1), 0);
    ports.input = 0x03;
    EXPECT_EQ(card.portRead(1, 780, -1), 1);
}

TEST(PortIoCardTest, MappedBitsCarryTheOutputsAndTheSensor) {
    FakePorts ports;
    veltrum::devices::PortMap map;
    map.hopper = {0, false};
    map.interTrial = {7, true};
    map.sensor = {3, true};
    PortIoCard card(ports.access(), map);
    card.portWrite(1, 792, 0, 2);
    card.portWrite(1, 792, 0, 64);
    card.portWrite(1, 792, 0, 0);
    EXPECT_EQ(ports.written,
              (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{792, 0x81}, {792, 0x00}, {792, 0x80}}));
    ports.input = 0xF7;
    EXPECT_EQ(card.portRead(1, 780, -1), 1) << "an active-low sensor reads a head at level 0";
}

TEST(PortIoCardTest, MapBeyondEightLinesIsRefusedWithTheLine) {
    FakePorts ports;
    veltrum::devices::PortMap map;
    map.sensor = {8, false};
    try {
        PortIoCard card(ports.access(), map);
        FAIL() << "line 8 of an eight-line port was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("sensor on line 8"), std::string::npos) << error.what();
    }
}

TEST(PortIoCardTest, RefusalNamesThePortAndHowToGrantAccessAndIsAskedAgain) {
    FakePorts ports;
    ports.refusals = 1;
    PortIoCard card(ports.access());
    try {
        card.portWrite(1, 792, 0, 0);
        FAIL() << "a refused port was written";
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        for (const char* part : {"780", "root", "CAP_SYS_RAWIO", "Operation not permitted"})
            EXPECT_NE(message.find(part), std::string::npos) << part << " missing from: " << message;
    }
    EXPECT_TRUE(ports.written.empty());
    // Granted in the meantime: the next call gets through.
    card.portWrite(1, 792, 0, 0);
    EXPECT_EQ(ports.written.size(), 1u);
}

TEST(PortIoCardTest, WithoutThePrivilegeTheRealCardRefusesWithTheMessage) {
    PortIoCard card;
    try {
        card.portRead(1, 780, -1);
        GTEST_SKIP() << "this process may use the I/O ports";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("I/O port 780"), std::string::npos) << error.what();
    }
}

struct Refused {
    std::int32_t port;
    std::int32_t value;
};

class PortIoCardRefusesTest : public ::testing::TestWithParam<Refused> {};

TEST_P(PortIoCardRefusesTest, NeitherBindsNorTouchesTheHardware) {
    FakePorts ports;
    PortIoCard card(ports.access());
    EXPECT_THROW(card.portWrite(1, GetParam().port, 0, GetParam().value), std::invalid_argument);
    EXPECT_TRUE(ports.permitted.empty());
    EXPECT_TRUE(ports.written.empty());
}

INSTANTIATE_TEST_SUITE_P(OutsideTheCard, PortIoCardRefusesTest,
                         ::testing::Values(Refused{791, 0}, Refused{780, 0}, Refused{792, 256},
                                           Refused{792, -1}, Refused{792, 66}, Refused{792, 0x10002}),
                         [](const ::testing::TestParamInfo<Refused>& info) {
                             const std::int32_t value = info.param.value;
                             return "Port" + std::to_string(info.param.port) + "Value" +
                                    (value < 0 ? "Minus" + std::to_string(-value) : std::to_string(value));
                         });

TEST(PortIoCardTest, ReadOfAPortOutsideTheCardIsRefused) {
    FakePorts ports;
    PortIoCard card(ports.access());
    EXPECT_THROW(card.portRead(1, 0x3F8, -1), std::invalid_argument);
    EXPECT_THROW(card.portRead(1, 792, -1), std::invalid_argument);
    EXPECT_TRUE(ports.permitted.empty());
}

} // namespace
