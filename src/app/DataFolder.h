// Where the controller finds its data folder without --data, where the shipped demo data folder is, and
// making a new data folder from the demo.
#pragma once

#include <QString>

namespace veltrum::app {

// The folder holding the running program (from /proc/self/exe; needs no QCoreApplication).
QString programFolder();

// "Veltrum" beside the program when that folder exists (a program copied together with its data), else
// "Veltrum" in the user's home folder (an installed program, or one run from its build tree).
QString defaultDataFolder(const QString& programFolder, const QString& homeFolder);

// The demo data folder: share/veltrum/demo beside the program's bin folder once installed, or the
// source tree's demo/Veltrum (linked as "demo" beside a program in the build tree); "" when neither.
QString demoDataFolder(const QString& programFolder);

// Copies every file of demo into folder, which must be absent or empty; returns "" or what failed.
QString makeDataFolder(const QString& demo, const QString& folder);

// The start-up message for a data folder that does not exist: which folder, and how to make one.
QString missingDataFolderMessage(const QString& folder);

} // namespace veltrum::app
