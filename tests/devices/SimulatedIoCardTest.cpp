#include "devices/SimulatedIoCard.h"
#include "platform/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using veltrum::devices::SimulatedIoCard;

class SimulatedIoCardTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("veltrum-simcard-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::vector<std::string> traceLines(const std::filesystem::path& path) const {
        std::ifstream file(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }
    // What an operator's shell does with `echo 1 > pipe`.
    void writeToPipe(const std::filesystem::path& path, const std::string& text) {
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::write(descriptor, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(descriptor);
    }

    veltrum::platform::VirtualScheduler scheduler;
    SimulatedIoCard card{scheduler};
    std::filesystem::path folder;
};

TEST_F(SimulatedIoCardTest, TraceHoldsEveryOperationWithItsTimeInOrder) {
    const auto trace = folder / "card.trace";
    card.openTrace(trace.string());
    card.portWrite(1, 792, 0, 64);
    scheduler.advanceBy(12345);
    card.portWrite(1, 792, 0, 2);
    card.setHeadIn(true);
    scheduler.advanceBy(55);
    EXPECT_EQ(card.portRead(1, 780, -1), 1);
    scheduler.advanceBy(100);
    card.setHeadIn(false);
    EXPECT_EQ(card.portRead(1, 780, -1), 0);
    // Lines are on disk at once, while the card is still open.
    EXPECT_EQ(traceLines(trace), (std::vector<std::string>{"0.000 write 792 64", "12.345 write 792 2",
                                                           "12.400 read 780 1", "12.500 read 780 0"}));
}

TEST_F(SimulatedIoCardTest, WritesGoThroughThePortMapToTheMappedLines) {
    veltrum::devices::PortMap map;
    map.hopper = {3, false};
    map.interTrial = {4, true};
    map.sensor = {5, true};
    SimulatedIoCard mapped(scheduler, map);
    EXPECT_TRUE(mapped.lineLevel(4)) << "an active-low output is high while off";
    mapped.portWrite(1, 792, 0, 2);
    EXPECT_EQ(mapped.outputs(), (veltrum::devices::ChamberOutputs{true, false}));
    EXPECT_TRUE(mapped.lineLevel(3));
    mapped.portWrite(1, 792, 0, 64);
    EXPECT_FALSE(mapped.lineLevel(3));
    EXPECT_FALSE(mapped.lineLevel(4));
    mapped.setHeadIn(true);
    EXPECT_FALSE(mapped.lineLevel(5));
    EXPECT_EQ(mapped.portRead(1, 780, -1), 1);
    // What a real card refuses, the simulated one refuses too.
    EXPECT_THROW(mapped.portWrite(1, 792, 0, 66), std::invalid_argument);
    EXPECT_THROW(mapped.portWrite(1, 793, 0, 0), std::invalid_argument);
    EXPECT_THROW(mapped.portRead(1, 792, -1), std::invalid_argument);
    EXPECT_EQ(mapped.outputs(), (veltrum::devices::ChamberOutputs{false, true}));
}

TEST_F(SimulatedIoCardTest, SensorPipeMovesTheHeadAndLastByteWins) {
    const auto pipe = folder / "sensor";
    card.openSensor(pipe.string());
    ASSERT_TRUE(std::filesystem::is_fifo(pipe));
    EXPECT_EQ(card.portRead(1, 780, -1), 0);

    writeToPipe(pipe, "1\n");
    EXPECT_EQ(card.portRead(1, 780, -1), 1);
    // The writer has gone: the head stays in until the pipe says otherwise.
    EXPECT_EQ(card.portRead(1, 780, -1), 1);

    writeToPipe(pipe, "1\n0\nx 7\n");
    EXPECT_EQ(card.portRead(1, 780, -1), 0);
    writeToPipe(pipe, "garbage");
    EXPECT_EQ(card.portRead(1, 780, -1), 0);
}

TEST_F(SimulatedIoCardTest, PipeTheCardCreatedIsRemovedWithItAndAnExistingOneIsKept) {
    const auto created = folder / "created";
    const auto existing = folder / "existing";
    ASSERT_EQ(::mkfifo(existing.c_str(), 0600), 0);
    {
        SimulatedIoCard first(scheduler);
        first.openSensor(created.string());
        SimulatedIoCard second(scheduler);
        second.openSensor(existing.string());
    }
    EXPECT_FALSE(std::filesystem::exists(created));
    EXPECT_TRUE(std::filesystem::is_fifo(existing));
}

TEST_F(SimulatedIoCardTest, SensorPathThatIsAnOrdinaryFileIsRefused) {
    const auto file = folder / "plain.txt";
    std::ofstream(file) << "1";
    try {
        card.openSensor(file.string());
        FAIL() << "an ordinary file was taken as the sensor";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("not a named pipe"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST_F(SimulatedIoCardTest, TraceThatCannotBeCreatedNamesTheFile) {
    const auto trace = folder / "missing-folder" / "card.trace";
    try {
        card.openTrace(trace.string());
        FAIL() << "a trace in a missing folder was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(trace.string()), std::string::npos) << error.what();
    }
}

} // namespace
