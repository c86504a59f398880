#include "app/ConsoleAnswers.h"

#include "Version.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"

#include <QDir>

#include <cstdio>

namespace veltrum::app {

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

std::optional<int> answerWithoutWindows(const QStringList& arguments) {
    const CommandLine options =
        parseCommandLine(arguments, defaultDataFolder(programFolder(), QDir::homePath()));
    // Without a QCoreApplication the parser cannot know the program's name.
    const QString helpText =
        QString(options.helpText).replace(QStringLiteral("<executable_name>"), QStringLiteral("veltrum"));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s", qUtf8Printable(options.error), qUtf8Printable(helpText));
        return 2;
    }
    if (options.showHelp) {
        std::printf("%s", qUtf8Printable(helpText));
        return 0;
    }
    if (options.showVersion) {
        std::printf("veltrum %s\n", VELTRUM_VERSION);
        return 0;
    }
    if (!options.newDataFolder.isEmpty()) {
        const QString folder = QDir(options.newDataFolder).absolutePath();
        const QString failure = makeDataFolder(demoDataFolder(programFolder()), folder);
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "veltrum: %s\n", qUtf8Printable(failure));
            return 1;
        }
        std::printf(
            "Made the data folder %s from the demo data. Start a session with\n    veltrum --data %s\n",
            qUtf8Printable(folder), qUtf8Printable(folder));
        return 0;
    }
    return std::nullopt;
}

} // namespace veltrum::app
