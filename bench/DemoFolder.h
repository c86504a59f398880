// A copy of the demo data folder in a temporary folder, listening on a free loopback port, for the
// benchmarks that run the real main window with a tablet on loopback.
#pragma once

#include <QTcpServer>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
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

} // namespace veltrum::bench
