// For the benchmarks that run the real main window with a tablet on loopback: a copy of the demo data
// folder in a temporary folder with a free loopback port, and a way to turn the event loop meanwhile.
#pragma once

#include <QCoreApplication>
#include <QTcpServer>
#include <QTemporaryDir>

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

// Turns the Qt event loop until `done`; false after twenty seconds (a broken run, not a slow one).
inline bool spinUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

} // namespace veltrum::bench
