#include "tablet/TabletOptions.h"

#include <QCommandLineParser>

namespace veltrum::tablet {

TabletOptions parseTabletOptions(const QStringList& arguments) {
    TabletOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the controller's pictures at six positions and reports touches."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Controller's address."),
                                  QStringLiteral("H"), options.host);
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Controller's TCP port."),
                                  QStringLiteral("P"), QString::number(options.port));
    const QCommandLineOption images(QStringLiteral("images"),
                                    QStringLiteral("Folder of the pictures <n>.bmp."), QStringLiteral("DIR"));
    const QCommandLineOption rate(
        QStringLiteral("auto-peck"),
        QStringLiteral("Peck by itself, RATE pecks per second while a picture shows."),
        QStringLiteral("RATE"), QStringLiteral("0"));
    const QCommandLineOption accuracy(QStringLiteral("accuracy"),
                                      QStringLiteral("Chance (0..1) that a peck hits the shown picture."),
                                      QStringLiteral("A"), QStringLiteral("1"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the automatic pecks."),
                                  QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write what is sent and received to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOptions({help, version, host, port, images, rate, accuracy, seed, log});
    options.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.showHelp = parser.isSet(help);
    options.showVersion = parser.isSet(version);
    options.host = parser.value(host);
    options.imageFolder = parser.value(images);
    options.logFile = parser.value(log);
    bool ok = false;
    options.port = parser.value(port).toInt(&ok);
    if (!ok || options.port < 1 || options.port > 65535)
        options.error = QStringLiteral("--port needs a TCP port from 1 to 65535.");
    options.autoPeckRate = parser.value(rate).toDouble(&ok);
    if (!ok || options.autoPeckRate < 0 || options.autoPeckRate > 1000)
        options.error = QStringLiteral("--auto-peck needs a rate from 0 to 1000 pecks per second.");
    options.accuracy = parser.value(accuracy).toDouble(&ok);
    if (!ok || options.accuracy < 0 || options.accuracy > 1)
        options.error = QStringLiteral("--accuracy needs a number from 0 to 1.");
    options.seed = parser.value(seed).toUInt(&ok);
    if (!ok)
        options.error = QStringLiteral("--seed needs a whole number.");
    return options;
}

} // namespace veltrum::tablet
