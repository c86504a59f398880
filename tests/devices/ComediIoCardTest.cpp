#include "devices/ComediIoCard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using veltrum::devices::ComediIoCard;
using veltrum::devices::ComediSubdeviceKind;
using veltrum::devices::PortMap;

// What the card asked of libcomedi, and what the "device" answers.
struct ComediBoard {
    int openError = 0;
    std::string group = "iocard";
    std::vector<ComediSubdeviceKind> subdevices{ComediSubdeviceKind::Other,
                                                ComediSubdeviceKind::DigitalInputOutput};
    unsigned channels = 24;
    std::map<unsigned, bool> outputChannel; // channel: configured as output
    std::vector<std::string> calls;         // "write 1 1", in order
    bool sensorLevel = false;
    int failingWrite = 0;
    int opens = 0;
    int closes = 0;
};

class FakeComedi : public veltrum::devices::ComediCalls {
public:
    explicit FakeComedi(ComediBoard& board)
        : m_board(board) {}
    int open(const std::string&) override {
        if (m_board.openError == 0)
            ++m_board.opens;
        return m_board.openError;
    }
    void close() override {
        if (m_board.opens > m_board.closes)
            ++m_board.closes;
    }
    unsigned subdeviceCount() override { return static_cast<unsigned>(m_board.subdevices.size()); }
    ComediSubdeviceKind subdeviceKind(unsigned subdevice) override {
        return subdevice < m_board.subdevices.size() ? m_board.subdevices[subdevice]
                                                     : ComediSubdeviceKind::Missing;
    }
    unsigned channelCount(unsigned) override { return m_board.channels; }
    int configure(unsigned, unsigned channel, bool output) override {
        m_board.outputChannel[channel] = output;
        return 0;
    }
    int write(unsigned subdevice, unsigned channel, bool level) override {
        m_board.calls.push_back("write " + std::to_string(subdevice) + ":" + std::to_string(channel) + " " +
                                std::to_string(level));
        return m_board.failingWrite;
    }
    int read(unsigned, unsigned, bool& level) override {
        level = m_board.sensorLevel;
        return 0;
    }
    std::string errorText(int error) override { return error == EIO ? "Input/output error" : "error"; }
    std::string fileGroup(const std::string&) override { return m_board.group; }

private:
    ComediBoard& m_board;
};

std::string failureOf(ComediBoard& board, std::optional<unsigned> subdevice, PortMap map = {}) {
    try {
        ComediIoCard card(std::make_unique<FakeComedi>(board), "/dev/comedi0", subdevice, map);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(ComediIoCardTest, ConfiguresTheMappedChannelsAndTranslatesThePortValues) {
    ComediBoard board;
    PortMap map;
    map.hopper = {8, false};
    map.interTrial = {9, true};
    map.sensor = {16, false};
    {
        ComediIoCard card(std::make_unique<FakeComedi>(board), "/dev/comedi0", std::nullopt, map);
        EXPECT_EQ(card.subdevice(), 1u) << "the first digital I/O subdevice";
        EXPECT_EQ(board.outputChannel, (std::map<unsigned, bool>{{8, true}, {9, true}, {16, false}}));
        card.portWrite(1, 792, 0, 2);
        card.portWrite(1, 792, 0, 64);
        EXPECT_EQ(board.calls,
                  (std::vector<std::string>{"write 1:9 1", "write 1:8 1", "write 1:8 0", "write 1:9 0"}))
            << "the line going off is written before the one going on";
        EXPECT_EQ(card.portRead(1, 780, -1), 0);
        board.sensorLevel = true;
        EXPECT_EQ(card.portRead(1, 780, -1), 1);
        EXPECT_THROW(card.portWrite(1, 792, 0, 3), std::invalid_argument);
        EXPECT_EQ(board.calls.size(), 4u);
        EXPECT_EQ(board.closes, 0);
    }
    EXPECT_EQ(board.closes, 1) << "the device is closed with the card";
}

TEST(ComediIoCardTest, ChannelFailingMidSessionIsNamed) {
    ComediBoard board;
    ComediIoCard card(std::make_unique<FakeComedi>(board), "/dev/comedi0", 1u);
    board.failingWrite = EIO;
    try {
        card.portWrite(1, 792, 0, 2);
        FAIL() << "a failed write passed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(
            error.what(),
            "The inter-trial output (channel 6 of \"/dev/comedi0\") cannot be set: Input/output error.");
    }
}

struct OpenFailure {
    const char* name;
    int openError;
    const char* group;
    std::optional<unsigned> subdevice;
    unsigned channels;
    unsigned sensorLine;
    const char* expected;
};

class ComediOpenFailureTest : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(ComediOpenFailureTest, SaysWhatToDoAndLeavesTheDeviceClosed) {
    const OpenFailure& failure = GetParam();
    ComediBoard board;
    board.openError = failure.openError;
    board.group = failure.group;
    board.channels = failure.channels;
    PortMap map;
    map.sensor.number = failure.sensorLine;
    const std::string message = failureOf(board, failure.subdevice, map);
    EXPECT_NE(message.find(failure.expected), std::string::npos) << message;
    EXPECT_EQ(board.opens, board.closes);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ComediOpenFailureTest,
    ::testing::Values(
        OpenFailure{"MissingDevice", ENOENT, "", std::nullopt, 24, 0, "give the device with --comedi-device"},
        OpenFailure{"NoPermission", EACCES, "iocard", std::nullopt, 24, 0,
                    "belongs to the group \"iocard\": add the operator to it (sudo usermod -aG iocard USER)"},
        OpenFailure{"NoPermissionRootsDevice", EACCES, "root", std::nullopt, 24, 0, "udev rule"},
        OpenFailure{
            "SubdeviceNotDigital", 0, "", 0u, 24, 0,
            "Subdevice 0 of \"/dev/comedi0\" is not digital I/O (it is analog, counter or another kind). "
            "Give a digital I/O subdevice with --comedi-subdevice"},
        OpenFailure{"SubdeviceAbsent", 0, "", 7u, 24, 0,
                    "Subdevice 7 of \"/dev/comedi0\" is not digital I/O (the device has no such"},
        OpenFailure{
            "ChannelBeyondTheBoard", 0, "", std::nullopt, 4, 0,
            "puts the inter-trial output on channel 6, but subdevice 1 of \"/dev/comedi0\" has channels 0 "
            "to 3"},
        OpenFailure{"SensorOnAnOutput", 0, "", std::nullopt, 24, 6,
                    "sensor on channel 6, which is also an output"}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) { return std::string(info.param.name); });

TEST(ComediIoCardTest, BoardWithoutDigitalIoIsRefused) {
    ComediBoard board;
    board.subdevices = {ComediSubdeviceKind::Other, ComediSubdeviceKind::DigitalOutput};
    const std::string message = failureOf(board, std::nullopt);
    EXPECT_NE(message.find("has no digital I/O subdevice"), std::string::npos) << message;
    EXPECT_EQ(board.closes, 1);
}

} // namespace
