#include "lab/LabService.h"

#include "web/StatusService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkProxy>

namespace veltrum::lab {

LabService::LabService(const std::vector<ChamberAddress>& chambers, const web::Limits& limits)
    : m_server(limits) {
    // The chambers are asked directly, never through a proxy the environment names.
    m_network.setProxy(QNetworkProxy::NoProxy);
    for (std::size_t i = 0; i < chambers.size(); ++i) {
        const int index = static_cast<int>(i);
        m_chambers.push_back(
            std::make_unique<ChamberFeed>(m_network, chambers[i], [this, index](const QJsonObject& change) {
                QJsonObject message = change;
                message.insert(QStringLiteral("index"), index);
                m_server.broadcast(QStringLiteral("/events"), "chamber",
                                   QJsonDocument(message).toJson(QJsonDocument::Compact));
            }));
    }
    web::addPageResources(m_server, QStringLiteral("lab"));
    m_server.addHandler(QStringLiteral("/lab.json"), [this] {
        return web::Response{200, "application/json", QJsonDocument(whole()).toJson()};
    });
    m_server.addEventStream(QStringLiteral("/events"), [this] {
        return web::WebServer::eventMessage("lab", QJsonDocument(whole()).toJson(QJsonDocument::Compact));
    });
}

LabService::~LabService() {
    m_chambers.clear();
}

std::string LabService::start(quint16 port, const qt::HostAllowList& allowed) {
    const std::string failure = m_server.listen(port, allowed);
    if (!failure.empty())
        return failure;
    for (const auto& chamber : m_chambers)
        chamber->start();
    return {};
}

QJsonObject LabService::whole() const {
    QJsonArray chambers;
    for (const auto& chamber : m_chambers)
        chambers.append(chamber->whole());
    return {{QStringLiteral("program"), QStringLiteral("veltrum-lab")},
            {QStringLiteral("chambers"), chambers}};
}

} // namespace veltrum::lab
