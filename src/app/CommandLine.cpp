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
    const QCommandLineOption tabletAddress(
        QStringLiteral("tablet-address"),
        QStringLiteral(
            "Only ADDRESS (an address such as 192.168.1.20 or a subnet such as 192.168.1.0/24) may "
            "connect as the tablet; repeat or separate with commas for several. Replaces the data "
            "folder's TabletAddress.txt."),
        QStringLiteral("ADDRESS"));
    QCommandLineOption exitWhenShown(
        QStringLiteral("exit-when-shown"),
        QStringLiteral("Prints the start-up time and quits once the panel is shown."));
    exitWhenShown.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(data);
    parser.addOption(card);
    parser.addOption(cardTrace);
    parser.addOption(sensor);
    parser.addOption(tabletAddress);
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
    result.card = parser.value(card);
    result.cardTrace = parser.value(cardTrace);
    result.sensorPath = parser.value(sensor);
    for (const QString& value : parser.values(tabletAddress))
        for (const QString& address : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            result.tabletAddresses.append(address.trimmed());
    if (parser.isSet(tabletAddress) && result.tabletAddresses.isEmpty())
        result.error = QStringLiteral("--tablet-address needs an address or a subnet.");
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
