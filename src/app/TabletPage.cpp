#include "app/TabletPage.h"

#include "app/StatusPage.h"

namespace veltrum::app {

std::optional<quint16> readTabletPagePortFile(const QString& dataFolder) {
    return readPortFile(
        dataFolder, QStringLiteral("TabletPagePort.txt"), "The tablet page port file",
        "Write the TCP port of the tablet page in it, for example 8082, or remove the file to "
        "serve no tablet page.");
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
