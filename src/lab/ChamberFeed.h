// One chamber as veltrum-lab follows it: the chamber's event stream read as it comes, its status document
// kept up to date, and whether it answers. A chamber that refuses the connection, says nothing for a few
// seconds or sends what no chamber sends is shown as off or unreachable, with the time of its last word,
// and asked again every two seconds.
#pragma once

#include "lab/LabFile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace veltrum::lab {

class ChamberFeed : public QObject {
public:
    static constexpr int silenceMs = 5000; // a chamber's stream says something every second
    static constexpr int retryMs = 2000;
    static constexpr qsizetype maxMessageBytes = 8 * 1024 * 1024;

    // `changed` is called with what changed, as the lab's page takes it: the reach fields and either the
    // whole status ("status") or an update of it ("update").
    ChamberFeed(QNetworkAccessManager& network, ChamberAddress address,
                std::function<void(const QJsonObject&)> changed);
    ~ChamberFeed() override;

    void start();
    // The chamber as the lab's page starts from it: name, address, reach and its whole status.
    QJsonObject whole() const;
    bool reachable() const { return m_reachable; }

private:
    void ask();
    void onBytes();
    void onFinished();
    void dispatch();
    void lost(const QString& problem);
    QJsonObject reach() const;

    QNetworkAccessManager& m_network;
    ChamberAddress m_address;
    std::function<void(const QJsonObject&)> m_changed;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_buffer;
    QByteArray m_event;
    QByteArray m_data;
    QJsonObject m_status;
    bool m_reachable = false;
    std::int64_t m_lastWordAt = 0;
    QString m_problem;
    QTimer m_retry;
};

} // namespace veltrum::lab
