// veltrum-lab's page: every chamber of the lab file side by side, each live. veltrum-lab gathers the
// chambers itself (one event stream from each), so the browser talks to it alone, through one event
// stream of its own that carries each chamber's changes with the chamber's place in the file.
#pragma once

#include "lab/ChamberFeed.h"
#include "lab/LabFile.h"
#include "web/WebServer.h"

#include <QNetworkAccessManager>

#include <memory>
#include <string>
#include <vector>

namespace veltrum::lab {

class LabService {
public:
    LabService(const std::vector<ChamberAddress>& chambers, const web::Limits& limits = {});
    ~LabService();

    // Listens and starts following the chambers; returns why it could not listen, or "".
    std::string start(quint16 port, const qt::HostAllowList& allowed);
    quint16 port() const { return m_server.port(); }
    const web::WebServer& server() const { return m_server; }

private:
    QJsonObject whole() const;

    web::WebServer m_server;
    QNetworkAccessManager m_network;
    std::vector<std::unique_ptr<ChamberFeed>> m_chambers;
};

} // namespace veltrum::lab
