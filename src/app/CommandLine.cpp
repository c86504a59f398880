#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace veltrum::app {

namespace {

// The addresses of an option given once or more, each time one or several separated by commas.
QStringList addressesOf(const QCommandLineParser& parser, const QCommandLineOption& option) {
    QStringList addresses;
    for (const QString& value : parser.values(option))
        for (const QString& address : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            addresses.append(address.trimmed());
    return addresses;
}

// A TCP port option's value, 1 to 65535; 0 when it is not given, -1 when it is not a port.
int portOf(const QCommandLineParser& parser, const QCommandLineOption& option) {
    if (!parser.isSet(option))
        return 0;
    bool numeric = false;
    const uint port = parser.value(option).trimmed().toUInt(&numeric);
    return numeric && port >= 1 && port <= 65535 ? static_cast<int>(port) : -1;
}

// The options of the program, in the order the help lists them.
struct ProgramOptions {
    const QCommandLineOption& help;
    const QCommandLineOption& data;
    const QCommandLineOption& tabletAddress;
    const QCommandLineOption& statusPort;
    const QCommandLineOption& statusAddress;
    const QCommandLineOption& tabletPagePort;
    const QCommandLineOption& seed;
    const QCommandLineOption& version;
    const QCommandLineOption& newDataFolder;
    const QCommandLineOption& noConsole;
    const QCommandLineOption& noHistory;
    const QCommandLineOption& noRealTime;
    const QCommandLineOption& timingLog;
    const QCommandLineOption& exitWhenShown;
};

// What the arguments ask for, or the first error in them.
CommandLine readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                            const QString& defaultDataFolder, const ProgramOptions& o) {
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
    result.showHelp = parser.isSet(o.help);
    result.showVersion = parser.isSet(o.version);
    result.newDataFolder = parser.value(o.newDataFolder);
    if (parser.isSet(o.newDataFolder) && result.newDataFolder.isEmpty())
        result.error = QStringLiteral("--new-data-folder needs a folder.");
    result.exitWhenShown = parser.isSet(o.exitWhenShown);
    result.console = !parser.isSet(o.noConsole);
    result.history = !parser.isSet(o.noHistory);
    result.realTime = !parser.isSet(o.noRealTime);
    result.timingLog = parser.isSet(o.timingLog);
    result.dataFolder = parser.isSet(o.data) ? parser.value(o.data) : defaultDataFolder;
    if (result.dataFolder.isEmpty())
        result.error = QStringLiteral("--data needs a folder.");
    result.tabletAddresses = addressesOf(parser, o.tabletAddress);
    if (parser.isSet(o.tabletAddress) && result.tabletAddresses.isEmpty())
        result.error = QStringLiteral("--tablet-address needs an address or a subnet.");
    result.statusPort = portOf(parser, o.statusPort);
    if (result.statusPort < 0)
        result.error = QStringLiteral("--status-port needs a number from 1 to 65535.");
    result.tabletPagePort = portOf(parser, o.tabletPagePort);
    if (result.tabletPagePort < 0)
        result.error = QStringLiteral("--tablet-page-port needs a number from 1 to 65535.");
    if (parser.isSet(o.seed)) {
        bool numeric = false;
        const uint value = parser.value(o.seed).trimmed().toUInt(&numeric);
        if (!numeric)
            result.error = QStringLiteral("--seed needs a whole number.");
        else
            result.seed = value;
    }
    result.statusAddresses = addressesOf(parser, o.statusAddress);
    if (parser.isSet(o.statusAddress) && result.statusAddresses.isEmpty())
        result.error = QStringLiteral("--status-address needs an address or a subnet.");
    if (result.error.isEmpty())
        result.error = readCardOptions(parser, result.ioCard);
    return result;
}

} // namespace

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

    return readCommandLine(parser, arguments, defaultDataFolder,
                           {help, data, tabletAddress, statusPort, statusAddress, tabletPagePort, seed,
                            version, newDataFolder, noConsole, noHistory, noRealTime, timingLog,
                            exitWhenShown});
}

} // namespace veltrum::app
