#include "app/TabletPage.h"

#include "platform/LocalFileSystem.h"
#include "session/SettingsFile.h"

#include <QDir>

#include <charconv>
#include <stdexcept>

namespace veltrum::app {

std::optional<quint16> readTabletPagePortFile(const QString& dataFolder) {
    const std::string path = QDir(dataFolder).filePath(QStringLiteral("TabletPagePort.txt")).toStdString();
    platform::LocalFileSystem files;
    if (!files.exists(path))
        return std::nullopt;
    const std::vector<session::TextField> fields =
        session::readSettingsFile(files, path, "The tablet page port file");
    if (fields.empty())
        throw std::runtime_error("The tablet page port file " + path +
                                 " names no port. Write the TCP port of the tablet page in it, for example "
                                 "8082, or remove the file to serve no tablet page.");
    // As in the port file, the last entry is the one used.
    const std::string& text = fields.back().text;
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    int port = 0;
    if (first != std::string::npos) {
        const char* end = text.data() + last + 1;
        const auto [stop, error] = std::from_chars(text.data() + first, end, port);
        if (error == std::errc() && stop == end && port >= 1 && port <= 65535)
            return static_cast<quint16>(port);
    }
    throw std::runtime_error("The tablet page port file " + path + " gives the port \"" +
                             session::printable(text) + "\", which is not a number from 1 to 65535.");
}

std::string tabletPageNotice(quint16 port, const qt::HostAllowList& allowed) {
    const std::string local = "http://127.0.0.1:" + std::to_string(port) + "/";
    if (allowed.loopbackOnly())
        return "the tablet page is at " + local +
               " (this computer only; TabletAddress.txt or --tablet-address opens it to the tablet)";
    return "the tablet page is served on port " + std::to_string(port) +
           " of every interface, to the hosts that may be the tablet (" + local + " here)";
}

} // namespace veltrum::app
