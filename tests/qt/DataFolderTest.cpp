#include "app/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace veltrum::app;

const QString demo = QStringLiteral(VELTRUM_DEMO_DATA_DIR);

TEST(DataFolderTest, DefaultIsTheFolderBesideTheProgramOnlyWhenItExists) {
    QTemporaryDir program;
    QTemporaryDir home;
    EXPECT_EQ(defaultDataFolder(program.path(), home.path()), home.filePath(QStringLiteral("Veltrum")));
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("Veltrum")));
    EXPECT_EQ(defaultDataFolder(program.path(), home.path()), program.filePath(QStringLiteral("Veltrum")));
}

TEST(DataFolderTest, NewFolderHoldsEveryDemoFileAndTheOperatorMayWriteThem) {
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("lab/Veltrum"));
    ASSERT_EQ(makeDataFolder(demo, folder), QString());
    for (const char* file : {"PortNumber.txt", "CurrentSchedule.txt", "Images/7.bmp", "Parameters/P101.xls",
                             "Results/Session_Template.xls", "Results/Results_Summary.xls"}) {
        const QFileInfo copy(QDir(folder).filePath(QString::fromUtf8(file)));
        EXPECT_TRUE(copy.isFile()) << file;
        EXPECT_TRUE(copy.permissions() & QFile::WriteOwner) << file;
        EXPECT_EQ(copy.size(), QFileInfo(QDir(demo).filePath(QString::fromUtf8(file))).size()) << file;
    }
}

TEST(DataFolderTest, ExistingDataIsNeverOverwritten) {
    QTemporaryDir folder;
    QFile summary(folder.filePath(QStringLiteral("Results_Summary.xls")));
    ASSERT_TRUE(summary.open(QIODevice::WriteOnly));
    summary.write("sessions");
    summary.close();
    const QString failure = makeDataFolder(demo, folder.path());
    EXPECT_TRUE(failure.contains(QStringLiteral("not an empty folder"))) << failure.toStdString();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("Results_Summary.xls")});
    EXPECT_FALSE(makeDataFolder(QString(), QTemporaryDir().filePath(QStringLiteral("x"))).isEmpty());
}

TEST(DataFolderTest, MissingFolderMessageGivesTheCommandThatMakesIt) {
    const QString message = missingDataFolderMessage(QStringLiteral("/home/lab/Veltrum"));
    EXPECT_TRUE(message.contains(QStringLiteral("veltrum --new-data-folder /home/lab/Veltrum")));
    EXPECT_TRUE(message.contains(QStringLiteral("--data")));
}

} // namespace
