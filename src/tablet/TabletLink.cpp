#include "tablet/TabletLink.h"

#include <QStringList>

namespace veltrum::tablet {

TabletLink::TabletLink(QString host, quint16 port, const QString& logFile, QObject* parent)
    : QObject(parent)
    , m_host(std::move(host))
    , m_port(port) {
    m_clock.start();
    if (!logFile.isEmpty()) {
        m_log.setFileName(logFile);
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            qWarning("veltrum-tablet: cannot write the log %s", qUtf8Printable(logFile));
    }
    m_retry.setSingleShot(true);
    m_retry.setInterval(reconnectDelayMs);
    connect(&m_retry, &QTimer::timeout, this, &TabletLink::connectNow);
    connect(&m_socket, &QTcpSocket::connected, this, &TabletLink::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TabletLink::onDisconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TabletLink::onReadyRead);
    // A refused or failed attempt never reaches "connected"; try again after a pause.
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket.state() != QAbstractSocket::ConnectedState && !m_retry.isActive())
            m_retry.start();
    });
}

TabletLink::~TabletLink() {
    // Closing the socket on the way out must not call back into a half-destroyed link.
    m_socket.disconnect(this);
    m_socket.abort();
}

void TabletLink::start() {
    connectNow();
}

bool TabletLink::sendTouch(int position) {
    if (!isConnected())
        return false;
    m_socket.write(QByteArray::number(position) + '\n');
    m_socket.flush();
    log(QStringLiteral("sent %1").arg(position));
    return true;
}

void TabletLink::connectNow() {
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
    m_socket.connectToHost(m_host, m_port);
}

void TabletLink::onConnected() {
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_stream.clear();
    log(QStringLiteral("connected"));
    if (m_onConnection)
        m_onConnection(true);
}

void TabletLink::onDisconnected() {
    log(QStringLiteral("disconnected"));
    // Nothing is shown while the controller cannot see the touches.
    if (m_onDisplay)
        m_onDisplay(Display{});
    if (m_onConnection)
        m_onConnection(false);
    m_retry.start();
}

void TabletLink::onReadyRead() {
    const QByteArray bytes = m_socket.readAll();
    for (const Display& display :
         m_stream.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
        QStringList fields;
        for (const int picture : display)
            fields.append(QString::number(picture));
        log(QStringLiteral("received ") + fields.join(QLatin1Char(',')));
        if (m_onDisplay)
            m_onDisplay(display);
    }
}

void TabletLink::log(const QString& line) {
    if (!m_log.isOpen())
        return;
    m_log.write(QByteArray::number(m_clock.elapsed()) + ' ' + line.toUtf8() + '\n');
    m_log.flush();
}

} // namespace veltrum::tablet
