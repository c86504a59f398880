#include "app/CommandLine.h"
#include "app/StatusPage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using veltrum::app::parseCommandLine;

const QString defaultFolder = QStringLiteral("/opt/veltrum/Veltrum");

QStringList args(std::initializer_list<const char*> rest) {
    QStringList result{QStringLiteral("veltrum")};
    for (const char* arg : rest)
        result.append(QString::fromUtf8(arg));
    return result;
}

TEST(CommandLineTest, DataFolderDefaultsToTheOneBesideTheProgram) {
    const auto options = parseCommandLine(args({}), defaultFolder);
    EXPECT_TRUE(options.error.isEmpty());
    EXPECT_EQ(options.dataFolder, defaultFolder);
    EXPECT_FALSE(options.exitWhenShown);
    EXPECT_FALSE(options.showHelp);
}

TEST(CommandLineTest, DataOptionAndBenchmarkSwitchAreRead) {
    const auto options =
        parseCommandLine(args({"--data", "demo/Veltrum", "--exit-when-shown"}), defaultFolder);
    EXPECT_TRUE(options.error.isEmpty());
    EXPECT_EQ(options.dataFolder, QStringLiteral("demo/Veltrum"));
    EXPECT_TRUE(options.exitWhenShown);
}

TEST(CommandLineTest, HelpListsTheDataOptionButNotTheBenchmarkSwitch) {
    const auto options = parseCommandLine(args({"--help"}), defaultFolder);
    EXPECT_TRUE(options.showHelp);
    EXPECT_TRUE(options.helpText.contains(QStringLiteral("--data")));
    EXPECT_FALSE(options.helpText.contains(QStringLiteral("exit-when-shown")));
}

TEST(CommandLineTest, VersionAndNewDataFolderAreRead) {
    EXPECT_TRUE(parseCommandLine(args({"--version"}), defaultFolder).showVersion);
    const auto options = parseCommandLine(args({"--new-data-folder", "/home/lab/Veltrum"}), defaultFolder);
    EXPECT_TRUE(options.error.isEmpty());
    EXPECT_EQ(options.newDataFolder, QStringLiteral("/home/lab/Veltrum"));
}

class CommandLineErrorTest : public ::testing::TestWithParam<std::vector<const char*>> {};

TEST_P(CommandLineErrorTest, IsRefusedWithAMessage) {
    QStringList arguments{QStringLiteral("veltrum")};
    for (const char* arg : GetParam())
        arguments.append(QString::fromUtf8(arg));
    EXPECT_FALSE(parseCommandLine(arguments, defaultFolder).error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BadArguments, CommandLineErrorTest,
                         ::testing::Values(std::vector<const char*>{"--data"},
                                           std::vector<const char*>{"--data", ""},
                                           std::vector<const char*>{"--colour"},
                                           std::vector<const char*>{"--new-data-folder", ""},
                                           std::vector<const char*>{"demo/Veltrum"},
                                           std::vector<const char*>{"--status-port", "0"},
                                           std::vector<const char*>{"--status-port", "8081x"},
                                           std::vector<const char*>{"--status-address", ","}));

// The status page's port comes from the option, else from StatusPort.txt, whose content is checked as the
// port file's is.
TEST(StatusPortTest, OptionAndFileGiveThePortAndABadFileIsRefusedByName) {
    const auto options = parseCommandLine(
        args({"--status-port", "8081", "--status-address", "192.168.1.0/24, 10.0.0.5"}), defaultFolder);
    EXPECT_EQ(options.statusPort, 8081);
    EXPECT_EQ(options.statusAddresses,
              (QStringList{QStringLiteral("192.168.1.0/24"), QStringLiteral("10.0.0.5")}));

    QTemporaryDir folder;
    const auto write = [&](const char* text) {
        QFile file(folder.filePath(QStringLiteral("StatusPort.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    EXPECT_EQ(veltrum::app::readStatusPortFile(folder.path()), std::nullopt) << "no file, no page";
    write("# the session's page\r\n 8082 \r\n");
    EXPECT_EQ(veltrum::app::readStatusPortFile(folder.path()), 8082);
    for (const char* bad : {"# nothing\r\n", "80800\r\n", "http://x:8082\r\n"}) {
        write(bad);
        try {
            veltrum::app::readStatusPortFile(folder.path());
            ADD_FAILURE() << bad << " was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("StatusPort.txt"), std::string::npos) << error.what();
        }
    }
}

} // namespace
