#include "app/StatusPage.h"

#include "platform/LocalFileSystem.h"
#include "session/SettingsFile.h"

#include <QDir>

#include <charconv>
#include <stdexcept>

namespace veltrum::app {

std::optional<quint16> readPortFile(const QString& dataFolder, const QString& name, const std::string& what,
                                    const std::string& whatToWrite) {
    const std::string path = QDir(dataFolder).filePath(name).toStdString();
    platform::LocalFileSystem files;
    if (!files.exists(path))
        return std::nullopt;
    // A SetupError is a runtime_error that names the file and says what to do.
    const std::vector<session::TextField> fields = session::readSettingsFile(files, path, what);
    if (fields.empty())
        throw std::runtime_error(what + " " + path + " names no port. " + whatToWrite);
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
    throw std::runtime_error(what + " " + path + " gives the port \"" + session::printable(text) +
                             "\", which is not a number from 1 to 65535.");
}

std::optional<quint16> readStatusPortFile(const QString& dataFolder) {
    return readPortFile(dataFolder, QStringLiteral("StatusPort.txt"), "The status port file",
                        "Write the TCP port of the session's status page in it, for example 8081, or remove "
                        "the file to serve no page.");
}

std::string statusPageNotice(quint16 port, const qt::HostAllowList& allowed) {
    const std::string local = "http://127.0.0.1:" + std::to_string(port) + "/";
    if (allowed.loopbackOnly())
        return "the session's status page is at " + local +
               " (this computer only; --status-address opens it "
               "to other hosts)";
    return "the session's status page is served on port " + std::to_string(port) +
           " of every interface, to the --status-address hosts (" + local + " here)";
}

} // namespace veltrum::app
