// The tablet page as the veltrum program sets it up: its port (--tablet-page-port, else the data
// folder's TabletPagePort.txt; off without either); it is open to the hosts that may be the tablet.
#pragma once

#include "qt/HostAllowList.h"

#include <QString>

#include <optional>
#include <string>

namespace veltrum::app {

// The port from TabletPagePort.txt in the data folder: nullopt when there is no such file. Throws
// std::runtime_error naming the file and saying what to write when it is unreadable, empty or not a port.
std::optional<quint16> readTabletPagePortFile(const QString& dataFolder);

// What the program says on its terminal about where the tablet page is served.
std::string tabletPageNotice(quint16 port, const qt::HostAllowList& allowed);

} // namespace veltrum::app
