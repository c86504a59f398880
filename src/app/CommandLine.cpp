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
                                  QStringLiteral("The data folder (default: Veltrum beside the program if "
                                                 "there is one, else Veltrum in your home folder)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption card(
        QStringLiteral("card"),
        QStringLiteral("The I/O card: simulated (default; no hardware) or port (the card on I/O ports 780 "
                       "and 792; needs root or CAP_SYS_RAWIO)."),
        QStringLiteral("simulated|port"), QStringLiteral("simulated"));
    const QCommandLineOption cardTrace(
        QStringLiteral("card-trace"),
        QStringLiteral("Writes every operation of the simulated card, with its time, to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption sensor(
        QStringLiteral("sensor"),
        QStringLiteral("Named pipe for the simulated head-entry sensor (created if absent): write 1 for a "
                       "head in the hopper opening, 0 for none."),
        QStringLiteral("PATH"));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the program's version and exits."));
    const QCommandLineOption newDataFolder(
        QStringLiteral("new-data-folder"),
        QStringLiteral("Makes a new data folder DIR from the demo data folder and exits."),
        QStringLiteral("DIR"));
    QCommandLineOption exitWhenShown(
        QStringLiteral("exit-when-shown"),
        QStringLiteral("Prints the start-up time and quits once the panel is shown."));
    exitWhenShown.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(data);
    parser.addOption(card);
    parser.addOption(cardTrace);
    parser.addOption(sensor);
    parser.addOption(version);
    parser.addOption(newDataFolder);
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
    result.showVersion = parser.isSet(version);
    result.newDataFolder = parser.value(newDataFolder);
    if (parser.isSet(newDataFolder) && result.newDataFolder.isEmpty())
        result.error = QStringLiteral("--new-data-folder needs a folder.");
    result.exitWhenShown = parser.isSet(exitWhenShown);
    result.dataFolder = parser.isSet(data) ? parser.value(data) : defaultDataFolder;
    if (result.dataFolder.isEmpty())
        result.error = QStringLiteral("--data needs a folder.");
    result.card = parser.value(card);
    result.cardTrace = parser.value(cardTrace);
    result.sensorPath = parser.value(sensor);
    if (result.card != QLatin1String("simulated") && result.card != QLatin1String("port"))
        result.error = QStringLiteral("--card must be simulated or port, not \"%1\".").arg(result.card);
    else if (result.card == QLatin1String("port") && (parser.isSet(cardTrace) || parser.isSet(sensor)))
        result.error = QStringLiteral("--card-trace and --sensor belong to the simulated card.");
    else if ((parser.isSet(cardTrace) && result.cardTrace.isEmpty()) ||
             (parser.isSet(sensor) && result.sensorPath.isEmpty()))
        result.error = QStringLiteral("--card-trace and --sensor need a path.");
    return result;
}

} // namespace veltrum::app
