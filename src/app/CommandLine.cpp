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
    const QCommandLineOption tabletAddress(
        QStringLiteral("tablet-address"),
        QStringLiteral(
            "Only ADDRESS (an address such as 192.168.1.20 or a subnet such as 192.168.1.0/24) may "
            "connect as the tablet; repeat or separate with commas for several; \"any\" lets every host "
            "connect. Replaces the data folder's TabletAddress.txt. Without either, only this computer "
            "(the loopback) may connect."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption statusPort(
        QStringLiteral("status-port"),
        QStringLiteral("Serves the session, read-only, as a page and as JSON on TCP port PORT (replaces the "
                       "data folder's StatusPort.txt; without either no page is served)."),
        QStringLiteral("PORT"));
    const QCommandLineOption statusAddress(
        QStringLiteral("status-address"),
        QStringLiteral(
            "Lets ADDRESS (an address or a subnet, as for --tablet-address) open the status page; "
            "repeat or separate with commas for several; \"any\" lets every host. Without it, only "
            "this computer (the loopback) may."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption tabletPagePort(
        QStringLiteral("tablet-page-port"),
        QStringLiteral(
            "Serves the tablet page on TCP port PORT: opened in a tablet's browser, the page is the "
            "chamber's tablet, open to the hosts that may be the tablet (replaces the data folder's "
            "TabletPagePort.txt; without either no page is served)."),
        QStringLiteral("PORT"));
    QCommandLineOption seed(QStringLiteral("seed"),
                            QStringLiteral("Seeds the schedule's random draws with N instead of the clock."),
                            QStringLiteral("N"));
    seed.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the program's version and exits."));
    const QCommandLineOption newDataFolder(
        QStringLiteral("new-data-folder"),
        QStringLiteral("Makes a new data folder DIR from the demo data folder and exits."),
        QStringLiteral("DIR"));
    const QCommandLineOption noConsole(
        QStringLiteral("no-console"),
        QStringLiteral("Leaves out the operator's console window (the session's picture is still saved)."));
    const QCommandLineOption noHistory(
        QStringLiteral("no-history"),
        QStringLiteral("Leaves out the subject's history plot on the set-up panel."));
    const QCommandLineOption noRealTime(
        QStringLiteral("no-realtime"),
        QStringLiteral("Runs the chamber's timers with normal scheduling even where real-time priority is "
                       "permitted."));
    const QCommandLineOption timingLog(
        QStringLiteral("timing-log"),
        QStringLiteral(
            "Prints a line a minute on how late the chamber's timers ran: the latest, and how many "
            "ran more than 20 ms late."));
    QCommandLineOption exitWhenShown(
        QStringLiteral("exit-when-shown"),
        QStringLiteral("Prints the start-up time and quits once the panel is shown."));
    exitWhenShown.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(data);
    addCardOptions(parser);
    parser.addOption(tabletAddress);
    parser.addOption(statusPort);
    parser.addOption(statusAddress);
    parser.addOption(tabletPagePort);
    parser.addOption(seed);
    parser.addOption(version);
    parser.addOption(newDataFolder);
    parser.addOption(noConsole);
    parser.addOption(noHistory);
    parser.addOption(noRealTime);
    parser.addOption(timingLog);
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
    result.console = !parser.isSet(noConsole);
    result.history = !parser.isSet(noHistory);
    result.realTime = !parser.isSet(noRealTime);
    result.timingLog = parser.isSet(timingLog);
    result.dataFolder = parser.isSet(data) ? parser.value(data) : defaultDataFolder;
    if (result.dataFolder.isEmpty())
        result.error = QStringLiteral("--data needs a folder.");
    for (const QString& value : parser.values(tabletAddress))
        for (const QString& address : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            result.tabletAddresses.append(address.trimmed());
    if (parser.isSet(tabletAddress) && result.tabletAddresses.isEmpty())
        result.error = QStringLiteral("--tablet-address needs an address or a subnet.");
    if (parser.isSet(statusPort)) {
        bool numeric = false;
        const uint port = parser.value(statusPort).trimmed().toUInt(&numeric);
        if (!numeric || port < 1 || port > 65535)
            result.error = QStringLiteral("--status-port needs a number from 1 to 65535.");
        else
            result.statusPort = static_cast<int>(port);
    }
    if (parser.isSet(tabletPagePort)) {
        bool numeric = false;
        const uint port = parser.value(tabletPagePort).trimmed().toUInt(&numeric);
        if (!numeric || port < 1 || port > 65535)
            result.error = QStringLiteral("--tablet-page-port needs a number from 1 to 65535.");
        else
            result.tabletPagePort = static_cast<int>(port);
    }
    if (parser.isSet(seed)) {
        bool numeric = false;
        const uint value = parser.value(seed).trimmed().toUInt(&numeric);
        if (!numeric)
            result.error = QStringLiteral("--seed needs a whole number.");
        else
            result.seed = value;
    }
    for (const QString& value : parser.values(statusAddress))
        for (const QString& address : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            result.statusAddresses.append(address.trimmed());
    if (parser.isSet(statusAddress) && result.statusAddresses.isEmpty())
        result.error = QStringLiteral("--status-address needs an address or a subnet.");
    if (result.error.isEmpty())
        result.error = readCardOptions(parser, result.ioCard);
    return result;
}

} // namespace veltrum::app
