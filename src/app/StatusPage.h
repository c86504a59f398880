// The session's status page as the veltrum program sets it up: its port (--status-port, else the data
// folder's StatusPort.txt; off without either), who may open it (--status-address; the loopback
// without), and the main window model offered to it as the session it watches.
#pragma once

#include "qt/HostAllowList.h"
#include "session/crt.h"
#include "web/StatusService.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

namespace veltrum::app {

// The port from StatusPort.txt in the data folder: nullopt when there is no such file. Throws
// std::runtime_error naming the file and saying what to write when it is unreadable, empty or not a port.
std::optional<quint16> readStatusPortFile(const QString& dataFolder);

// The port a settings file `name` of the data folder gives (the last entry), as above; `what` names the
// file in messages ("The status port file") and `whatToWrite` says what to write in it.
std::optional<quint16> readPortFile(const QString& dataFolder, const QString& name, const std::string& what,
                                    const std::string& whatToWrite);

// The main window model as the status page watches it.
class WatchedCrt : public web::WatchedSession {
public:
    explicit WatchedCrt(session::crt& model)
        : m_model(model) {}
    engine::SessionEventBus::Subscription subscribe(engine::SessionEventListener listener) override {
        return m_model.events().subscribe(std::move(listener));
    }
    void unsubscribe(engine::SessionEventBus::Subscription subscription) override {
        m_model.events().unsubscribe(subscription);
    }
    engine::SessionSnapshot snapshot() const override { return m_model.snapshot(); }

private:
    session::crt& m_model;
};

// What the program says on its terminal about where the page is served.
std::string statusPageNotice(quint16 port, const qt::HostAllowList& allowed);

} // namespace veltrum::app
