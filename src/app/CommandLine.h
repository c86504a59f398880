// The veltrum executable's command-line options.
#pragma once

#include <QString>
#include <QStringList>

namespace veltrum::app {

struct CommandLine {
    QString dataFolder;         // the data folder; see defaultDataFolder() for the folder used without --data
    bool exitWhenShown = false; // print the start-up time and quit once the panel is on screen (benchmarks)
    QString card = QStringLiteral("simulated"); // "simulated" or "port"
    QString cardTrace;                          // the simulated card's trace file; none when empty
    QString sensorPath; // the simulated card's head-entry sensor pipe; none when empty
    bool showHelp = false;
    bool showVersion = false;
    QString newDataFolder; // --new-data-folder: make this folder from the demo and quit; empty = not asked
    QString helpText;
    QString error; // non-empty when the arguments could not be understood
};

// Parses the arguments (the first is the program); defaultDataFolder is used without --data.
CommandLine parseCommandLine(const QStringList& arguments, const QString& defaultDataFolder);

} // namespace veltrum::app
