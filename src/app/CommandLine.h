// The veltrum executable's command-line options.
#pragma once

#include "app/IoCardChoice.h"

#include <QString>
#include <QStringList>

namespace veltrum::app {

struct CommandLine {
    QString dataFolder;         // the data folder; see defaultDataFolder() for the folder used without --data
    bool exitWhenShown = false; // print the start-up time and quit once the panel is on screen (benchmarks)
    CardOptions ioCard;         // the I/O card and its options
    QStringList
        tabletAddresses; // who may be the tablet; the data folder's file, else the loopback, when empty
    int statusPort = 0;  // --status-port: the status page's port; 0 = not given
    QStringList statusAddresses; // --status-address: who may open it besides this computer
    int tabletPagePort = 0;      // --tablet-page-port: the tablet page's port; 0 = not given
    long long seed = -1;    // --seed: the schedule's random seed for every session (tests); -1 = the clock
    bool console = true;    // the operator's console window (--no-console leaves it out)
    bool history = true;    // the subject's history plot on the set-up panel (--no-history)
    bool realTime = true;   // real-time priority for the chamber's thread where permitted (--no-realtime)
    bool timingLog = false; // a line a minute on how late the chamber's timers ran (--timing-log)
    bool showHelp = false;
    bool showVersion = false;
    QString newDataFolder; // --new-data-folder: make this folder from the demo and quit; empty = not asked
    QString helpText;
    QString error; // non-empty when the arguments could not be understood
};

// Parses the arguments (the first is the program); defaultDataFolder is used without --data.
CommandLine parseCommandLine(const QStringList& arguments, const QString& defaultDataFolder);

} // namespace veltrum::app
