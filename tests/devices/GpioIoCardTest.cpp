#include "devices/GpioIoCard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <stdexcept>
#include <string>

namespace {

using veltrum::devices::GpioIoCard;
using veltrum::devices::PortMap;

struct RequestedLine {
    bool output = false;
    bool level = false;
    std::string consumer;
    bool operator==(const RequestedLine&) const = default;
};

// A GPIO chip as the card sees it through libgpiod.
struct GpioChip {
    int openError = 0;
    unsigned lines = 32;
    std::map<unsigned, std::string> heldByOthers; // line: the other program's consumer name
    std::map<unsigned, RequestedLine> requested;
    std::string openedName;
    bool open = false;
    bool sensorLevel = false;
};

class FakeGpio : public veltrum::devices::GpioCalls {
public:
    explicit FakeGpio(GpioChip& chip)
        : m_chip(chip) {}
    int openChip(const std::string& name) override {
        m_chip.openedName = name;
        m_chip.open = m_chip.openError == 0;
        return m_chip.openError;
    }
    void closeChip() override {
        m_chip.requested.clear();
        m_chip.open = false;
    }
    unsigned lineCount() override { return m_chip.lines; }
    int requestOutput(unsigned offset, const std::string& consumer, bool level) override {
        return request(offset, {true, level, consumer});
    }
    int requestInput(unsigned offset, const std::string& consumer) override {
        return request(offset, {false, false, consumer});
    }
    std::string lineConsumer(unsigned offset) override { return m_chip.heldByOthers[offset]; }
    int setLevel(unsigned offset, bool level) override {
        m_chip.requested.at(offset).level = level;
        return 0;
    }
    int getLevel(unsigned, bool& level) override {
        level = m_chip.sensorLevel;
        return 0;
    }
    std::string fileGroup(const std::string& path) override { return path == "/dev/gpiochip0" ? "gpio" : ""; }

private:
    int request(unsigned offset, RequestedLine line) {
        if (m_chip.heldByOthers.count(offset))
            return EBUSY;
        m_chip.requested[offset] = line;
        return 0;
    }
    GpioChip& m_chip;
};

std::string failureOf(GpioChip& chip, PortMap map = {}) {
    try {
        GpioIoCard card(std::make_unique<FakeGpio>(chip), map);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(GpioIoCardTest, RequestsTheMappedLinesAsVeltrumAndTranslatesThePortValues) {
    GpioChip chip;
    PortMap map;
    map.gpioChip = "gpiochip3";
    map.hopper = {17, false};
    map.interTrial = {27, true};
    map.sensor = {22, true};
    {
        GpioIoCard card(std::make_unique<FakeGpio>(chip), map);
        EXPECT_EQ(chip.openedName, "gpiochip3");
        EXPECT_EQ(chip.requested, (std::map<unsigned, RequestedLine>{{17, {true, false, "veltrum"}},
                                                                     {22, {false, false, "veltrum"}},
                                                                     {27, {true, true, "veltrum"}}}))
            << "outputs start off, an active-low one high";
        card.portWrite(1, 792, 0, 2);
        EXPECT_TRUE(chip.requested[17].level);
        EXPECT_TRUE(chip.requested[27].level);
        card.portWrite(1, 792, 0, 64);
        EXPECT_FALSE(chip.requested[17].level);
        EXPECT_FALSE(chip.requested[27].level);
        EXPECT_EQ(card.portRead(1, 780, -1), 1) << "an active-low sensor at level 0 is a head";
        chip.sensorLevel = true;
        EXPECT_EQ(card.portRead(1, 780, -1), 0);
    }
    EXPECT_TRUE(chip.requested.empty()) << "lines released with the card";
    EXPECT_FALSE(chip.open);
}

TEST(GpioIoCardTest, BusyLineNamesItsHolderAndReleasesTheLinesAlreadyTaken) {
    GpioChip chip;
    chip.heldByOthers[0] = "doorbell";
    const std::string message = failureOf(chip);
    EXPECT_EQ(message,
              "Line 0 (sensor) of GPIO chip \"gpiochip0\" is in use by \"doorbell\". Stop the program "
              "holding it (\"gpioinfo gpiochip0\" shows who), or move the line in the port map.");
    EXPECT_TRUE(chip.requested.empty());
    EXPECT_FALSE(chip.open);
}

TEST(GpioIoCardTest, OpeningFailuresSayWhatToDo) {
    GpioChip missing;
    missing.openError = ENOENT;
    EXPECT_NE(failureOf(missing).find("\"gpiodetect\" lists the chips"), std::string::npos);
    GpioChip refused;
    refused.openError = EACCES;
    EXPECT_NE(failureOf(refused).find("It belongs to the group \"gpio\": add the operator to it"),
              std::string::npos)
        << failureOf(refused);
    GpioChip small;
    small.lines = 4;
    EXPECT_NE(
        failureOf(small).find("inter-trial output on line 6, but GPIO chip \"gpiochip0\" has lines 0 to 3"),
        std::string::npos);
    EXPECT_FALSE(small.open);
}

} // namespace
