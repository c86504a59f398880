// The veltrum program: builds the services, the main window model and its view, runs start-up and the
// event loop.
#pragma once

#include <QStringList>

namespace veltrum::app {

class Application {
public:
    // Runs the program on its command line (the QApplication must exist); returns the exit status.
    int run(const QStringList& arguments);
};

} // namespace veltrum::app
