// Entry point of veltrum-lab: one page for the lab, every chamber of a lab file side by side, each live.
#include "Version.h"
#include "lab/LabFile.h"
#include "lab/LabService.h"
#include "qt/HostAllowList.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrum-lab"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves one page showing every chamber of LABFILE side by side, each live. LABFILE names one "
        "chamber a line: a name, then the address:port of its status page (veltrum --status-port); '#' "
        "starts a comment line."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the program's version and exits."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The TCP port the lab's page is served on (default 8080)."),
                                  QStringLiteral("PORT"), QStringLiteral("8080"));
    const QCommandLineOption address(
        QStringLiteral("address"),
        QStringLiteral("Lets ADDRESS (an address such as 192.168.1.20 or a subnet such as 192.168.1.0/24) "
                       "open the lab's page; repeat or separate with commas for several; \"any\" lets every "
                       "host. Without it, only this computer (the loopback) may."),
        QStringLiteral("ADDRESS"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(port);
    parser.addOption(address);
    parser.addPositionalArgument(QStringLiteral("LABFILE"), QStringLiteral("The lab file."));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "veltrum-lab: %s\n%s", qUtf8Printable(parser.errorText()),
                     qUtf8Printable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::printf("%s", qUtf8Printable(parser.helpText()));
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("veltrum-lab %s\n", VELTRUM_VERSION);
        return 0;
    }
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "veltrum-lab: give one lab file.\n%s", qUtf8Printable(parser.helpText()));
        return 2;
    }
    bool numeric = false;
    const uint portNumber = parser.value(port).toUInt(&numeric);
    if (!numeric || portNumber < 1 || portNumber > 65535) {
        std::fprintf(stderr, "veltrum-lab: --port needs a number from 1 to 65535.\n");
        return 2;
    }
    std::vector<std::string> addresses;
    for (const QString& value : parser.values(address))
        for (const QString& entry : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            addresses.push_back(entry.trimmed().toStdString());
    if (parser.isSet(address) && addresses.empty()) {
        std::fprintf(stderr, "veltrum-lab: --address needs an address or a subnet.\n");
        return 2;
    }
    try {
        const veltrum::qt::HostAllowList allowed(addresses);
        veltrum::lab::LabService lab(veltrum::lab::readLabFile(parser.positionalArguments().constFirst()));
        const std::string failure = lab.start(static_cast<quint16>(portNumber), allowed);
        if (!failure.empty()) {
            std::fprintf(stderr, "veltrum-lab: cannot serve the lab's page on port %u: %s\n", portNumber,
                         failure.c_str());
            return 1;
        }
        if (allowed.loopbackOnly())
            std::fprintf(stderr,
                         "veltrum-lab: the lab's page is at http://127.0.0.1:%u/ (this computer only)\n",
                         portNumber);
        else
            std::fprintf(stderr,
                         "veltrum-lab: the lab's page is served on port %u of every interface, to the "
                         "--address hosts and this computer's own\n",
                         portNumber);
        return QCoreApplication::exec();
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "veltrum-lab: --address: %s.\n", error.what());
        return 2;
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "veltrum-lab: %s\n", error.what());
        return 1;
    }
}
