// The command lines the veltrum program answers on the console without opening a window: help,
// version, a new data folder and arguments it does not understand. They run before the window system
// is reached, so they work on a machine without a display.
#pragma once

#include <QStringList>

#include <optional>

namespace veltrum::app {

// The program's arguments as Qt would give them, without a QCoreApplication.
QStringList argumentsOf(int argc, char** argv);

// Answers the arguments when they need no window and returns the exit status; nullopt otherwise.
std::optional<int> answerWithoutWindows(const QStringList& arguments);

} // namespace veltrum::app
