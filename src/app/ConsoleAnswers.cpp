#include "app/ConsoleAnswers.h"

#include "Version.h"
#include "app/CommandLine.h"
#include "app/DataFolder.h"
#include "qt/CommandLineAnswer.h"

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
    if (const std::optional<int> status = qt::answerCommandLine("veltrum", options.helpText, options.error,
                                                                options.showHelp, options.showVersion))
        return status;
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
