#include "app/CommandLine.h"

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
                                           std::vector<const char*>{"demo/Veltrum"}));

} // namespace
