// For the benchmarks that run the real main window with a tablet on loopback: a copy of the demo data
// folder in a temporary folder with a free loopback port, and a way to turn the event loop meanwhile.
#pragma once

#include <QCoreApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace veltrum::bench {

struct DemoFolder {
    explicit DemoFolder(const std::string& root) {
        std::filesystem::copy(root, data, std::filesystem::copy_options::recursive);
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        std::ofstream(data + "/PortNumber.txt", std::ios::trunc) << port << "\r\n";
    }
    QTemporaryDir folder;
    std::string data = folder.path().toStdString() + "/Veltrum";
    quint16 port = 0;
};

// Turns the Qt event loop without sleeping until `done`; false after twenty seconds. For the short
// windows a figure is taken over, where waking a sleeping thread would add the computer's wake-up
// time (on a virtual machine, its host's) to the program's own.
inline bool spinUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

// Runs the Qt event loop until `done`; false after twenty seconds (a broken run, not a slow one). The
// thread sleeps between events as the program's does, woken at least every millisecond to look at
// `done` again: a thread of real-time priority that never slept would be stopped by the kernel for
// tens of milliseconds every second, and the figures would show that instead of the program.
inline bool runEventsUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.start(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace veltrum::bench
