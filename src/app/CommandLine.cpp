#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace veltrum::app {

CommandLine parseCommandLine(const QStringList& arguments, const QString& defaultDataFolder) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs one operant-conditioning session from the set-up panel to the summary."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("The data folder (default: Veltrum beside the program)."),
                                  QStringLiteral("DIR"));
    QCommandLineOption exitWhenShown(
        QStringLiteral("exit-when-shown"),
        QStringLiteral("Prints the start-up time and quits once the panel is shown."));
    exitWhenShown.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(data);
    addCardOptions(parser);
    parser.addOption(exitWhenShown);

    CommandLine result;
    result.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error =
            QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return result;
    }
    result.showHelp = parser.isSet(help);
    result.exitWhenShown = parser.isSet(exitWhenShown);
    result.dataFolder = parser.isSet(data) ? parser.value(data) : defaultDataFolder;
    if (result.dataFolder.isEmpty())
        result.error = QStringLiteral("--data needs a folder.");
    if (result.error.isEmpty())
        result.error = readCardOptions(parser, result.ioCard);
    return result;
}

} // namespace veltrum::app
