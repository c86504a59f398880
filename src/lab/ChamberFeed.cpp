#include "lab/ChamberFeed.h"

#include "web/ChamberStatus.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace veltrum::lab {

ChamberFeed::ChamberFeed(QNetworkAccessManager& network, ChamberAddress address,
                         std::function<void(const QJsonObject&)> changed)
    : m_network(network)
    , m_address(std::move(address))
    , m_changed(std::move(changed)) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { ask(); });
}

ChamberFeed::~ChamberFeed() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void ChamberFeed::start() {
    ask();
}

QJsonObject ChamberFeed::reach() const {
    return {{QStringLiteral("reachable"), m_reachable},
            {QStringLiteral("lastWordAt"), static_cast<qint64>(m_lastWordAt)},
            {QStringLiteral("problem"), m_problem}};
}

QJsonObject ChamberFeed::whole() const {
    QJsonObject chamber = reach();
    chamber.insert(QStringLiteral("name"), m_address.name);
    chamber.insert(QStringLiteral("address"), m_address.shown());
    chamber.insert(QStringLiteral("status"), m_status.isEmpty() ? QJsonValue() : QJsonValue(m_status));
    return chamber;
}

void ChamberFeed::ask() {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_address.host);
    url.setPort(m_address.port);
    url.setPath(QStringLiteral("/events"));
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "text/event-stream");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // No byte for this long, while connecting or once connected, and the chamber is given up.
    request.setTransferTimeout(silenceMs);
    m_buffer.clear();
    m_event.clear();
    m_data.clear();
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &ChamberFeed::onBytes);
    connect(m_reply, &QNetworkReply::finished, this, &ChamberFeed::onFinished);
}

void ChamberFeed::onBytes() {
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200 || !m_reply->header(QNetworkRequest::ContentTypeHeader)
                              .toString()
                              .startsWith(QStringLiteral("text/event-stream"))) {
        lost(QStringLiteral("it answers, but not as a Veltrum chamber (HTTP %1)").arg(status));
        return;
    }
    m_buffer += m_reply->readAll();
    m_lastWordAt = QDateTime::currentMSecsSinceEpoch();
    // Event-stream lines: "event: NAME", "data: TEXT", a blank line ending the message, ":" a comment.
    qsizetype start = 0;
    for (qsizetype end; (end = m_buffer.indexOf('\n', start)) >= 0; start = end + 1) {
        QByteArray line = m_buffer.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty()) {
            dispatch();
            if (!m_reply)
                return;
        } else if (line.startsWith("event:")) {
            m_event = line.mid(6).trimmed();
        } else if (line.startsWith("data:")) {
            if (!m_data.isEmpty())
                m_data += '\n';
            m_data += line.mid(line.startsWith("data: ") ? 6 : 5);
        }
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() + m_data.size() > maxMessageBytes)
        lost(QStringLiteral("it sent a message larger than any chamber sends"));
}

void ChamberFeed::dispatch() {
    const QByteArray event = std::exchange(m_event, {});
    const QByteArray data = std::exchange(m_data, {});
    if (event != "status" && event != "update")
        return;
    const QJsonObject message = QJsonDocument::fromJson(data).object();
    if (message.isEmpty())
        return;
    QJsonObject change = reach();
    if (event == "status") {
        m_status = message;
        m_reachable = true;
        m_problem.clear();
        change = reach();
        change.insert(QStringLiteral("status"), m_status);
    } else {
        if (!m_reachable)
            return;
        web::applyUpdate(m_status, message);
        change.insert(QStringLiteral("update"), message);
    }
    m_changed(change);
}

void ChamberFeed::onFinished() {
    if (!m_reply)
        return;
    const QString problem = m_reply->error() == QNetworkReply::NoError
                                ? QStringLiteral("the chamber ended its stream")
                            : m_reply->error() == QNetworkReply::OperationCanceledError
                                ? QStringLiteral("no word for %1 s").arg(silenceMs / 1000)
                                : m_reply->errorString();
    lost(problem);
}

void ChamberFeed::lost(const QString& problem) {
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    const bool changed = m_reachable || m_problem != problem;
    m_reachable = false;
    m_problem = problem;
    if (changed)
        m_changed(reach());
    m_retry.start();
}

} // namespace veltrum::lab
