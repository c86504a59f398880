// Puts the tablet together: options, window, link and the optional simulated subject.
#pragma once

#include <QStringList>

#include <optional>

namespace veltrum::tablet {

// Answers --help, --version and arguments it does not understand on the console, before any window
// system is reached (so without a display); nullopt when the arguments ask for the window.
std::optional<int> answerWithoutWindows(int argc, char** argv);

// Runs the tablet until its window is closed; returns the exit status.
int runTablet(const QStringList& arguments);

} // namespace veltrum::tablet
