#include "app/IoCardChoice.h"
#include "app/CommandLine.h"
#include "devices/CardLock.h"
#include "devices/SimulatedIoCard.h"
#include "platform/VirtualScheduler.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using veltrum::app::parseCommandLine;

veltrum::app::CommandLine parse(std::vector<const char*> rest) {
    QStringList arguments{QStringLiteral("veltrum")};
    for (const char* argument : rest)
        arguments.append(QString::fromUtf8(argument));
    return parseCommandLine(arguments, QStringLiteral("/opt/veltrum/Veltrum"));
}

struct CardLine {
    const char* name;
    std::vector<const char*> arguments;
    const char* card;   // the card chosen; nullptr when the line is refused
    const char* trace;  // the trace file given to the simulated card
    const char* sensor; // the sensor pipe given to the simulated card
};

class CardOptionTest : public ::testing::TestWithParam<CardLine> {};

TEST_P(CardOptionTest, ChoosesTheCardOrRefusesTheLine) {
    const CardLine& line = GetParam();
    const auto options = parse(line.arguments);
    if (!line.card) {
        EXPECT_FALSE(options.error.isEmpty());
        return;
    }
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    EXPECT_EQ(options.ioCard.card, QString::fromLatin1(line.card));
    EXPECT_EQ(options.ioCard.cardTrace, QString::fromLatin1(line.trace));
    EXPECT_EQ(options.ioCard.sensorPath, QString::fromLatin1(line.sensor));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CardOptionTest,
    ::testing::Values(
        CardLine{"Default", {}, "simulated", "", ""}, CardLine{"Port", {"--card", "port"}, "port", "", ""},
        CardLine{"TraceAndSensor",
                 {"--card-trace", "/tmp/t", "--sensor", "/tmp/s"},
                 "simulated",
                 "/tmp/t",
                 "/tmp/s"},
        CardLine{"NameIsCaseSensitive", {"--card", "Port"}, nullptr, "", ""},
        CardLine{"EmptyCard", {"--card", ""}, nullptr, "", ""},
        CardLine{"TraceWithPortCard", {"--card", "port", "--card-trace", "/tmp/t"}, nullptr, "", ""},
        CardLine{"SensorWithPortCard", {"--card", "port", "--sensor", "/tmp/s"}, nullptr, "", ""},
        CardLine{"EmptyTrace", {"--card-trace", ""}, nullptr, "", ""},
        CardLine{"Comedi", {"--card", "comedi", "--comedi-subdevice", "2"}, "comedi", "", ""},
        CardLine{"Gpio", {"--card", "gpio", "--port-map", "/lab/PortMap.txt"}, "gpio", "", ""},
        CardLine{
            "ComediOptionWithGpio", {"--card", "gpio", "--comedi-device", "/dev/comedi1"}, nullptr, "", ""},
        CardLine{"SubdeviceNotANumber", {"--card", "comedi", "--comedi-subdevice", "dio"}, nullptr, "", ""},
        CardLine{"EmptyPortMap", {"--port-map", ""}, nullptr, "", ""}),
    [](const ::testing::TestParamInfo<CardLine>& info) { return std::string(info.param.name); });

TEST(IoCardChoiceTest, SimulatedCardWritesItsTraceWhereTheLineSays) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString trace = folder.filePath(QStringLiteral("card.trace"));
    veltrum::platform::VirtualScheduler scheduler;
    const auto card =
        veltrum::app::makeIoCard(parse({"--card-trace", qPrintable(trace)}).ioCard, folder.path(), scheduler);
    ASSERT_NE(dynamic_cast<veltrum::devices::SimulatedIoCard*>(card.get()), nullptr);
    scheduler.advanceBy(1500);
    card->portWrite(1, 792, 0, 64);
    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1.500 write 792 64\n"));
}

TEST(IoCardChoiceTest, TraceThatCannotBeWrittenStopsTheProgramBeforeItStarts) {
    veltrum::platform::VirtualScheduler scheduler;
    EXPECT_THROW(veltrum::app::makeIoCard(parse({"--card-trace", "/nonexistent-folder/card.trace"}).ioCard,
                                          QString(), scheduler),
                 std::runtime_error);
}

TEST(IoCardChoiceTest, PortMapOfTheDataFolderIsUsedAndItsFaultsStopTheProgram) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile map(folder.filePath(QStringLiteral("PortMap.txt")));
    ASSERT_TRUE(map.open(QIODevice::WriteOnly));
    map.write("hopper 3\ninter-trial 3\n");
    map.close();
    veltrum::platform::VirtualScheduler scheduler;
    try {
        veltrum::app::makeIoCard(parse({}).ioCard, folder.path(), scheduler);
        FAIL() << "a port map with both outputs on one line was used";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(qPrintable(map.fileName() + QStringLiteral("\", line 2"))),
                  std::string::npos)
            << error.what();
    }
}

TEST(IoCardChoiceTest, CardHeldByAnotherProgramIsRefusedBeforeItIsOpened) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("VELTRUM_LOCK_DIR", folder.path().toUtf8());
    veltrum::platform::VirtualScheduler scheduler;
    const auto options = parse({"--card", "comedi", "--comedi-device", "/dev/comedi-absent"}).ioCard;
    const veltrum::devices::CardLock held(veltrum::app::cardLockName(options, ""), "veltrum-hwcheck");
    try {
        veltrum::app::makeIoCard(options, folder.path(), scheduler);
        FAIL() << "a held card was opened";
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_EQ(
            message.rfind("The I/O card comedi-comedi-absent is in use by veltrum-hwcheck (process ", 0), 0u)
            << message;
    }
    qunsetenv("VELTRUM_LOCK_DIR");
}

} // namespace
