// Command-line options of the reference tablet application veltrum-tablet.
#pragma once

#include <QString>
#include <QStringList>

namespace veltrum::tablet {

struct TabletOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 12345;
    QString imageFolder;     // holds <n>.bmp for each picture number n
    double autoPeckRate = 0; // pecks per second while a picture is shown; 0 = only real touches
    double accuracy = 1.0;   // chance that an automatic peck hits a shown picture
    unsigned seed = 1;
    QString logFile; // what was sent and received, one line each; empty = no log
    bool showHelp = false;
    bool showVersion = false;
    QString helpText;
    QString error; // non-empty when the arguments could not be understood
};

// Parses the arguments (the first is the program).
TabletOptions parseTabletOptions(const QStringList& arguments);

} // namespace veltrum::tablet
