// The tablet's end of the link: connects to the controller, reads display messages, sends touches.
#pragma once

#include "tablet/DisplayStream.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace veltrum::tablet {

// Keeps trying to connect every reconnectDelayMs while the link is down, and writes one log line per
// event ("<ms> sent 4", "<ms> received 0,7,0,0,0,0", "<ms> connected", "<ms> disconnected").
class TabletLink : public QObject {
public:
    static constexpr int reconnectDelayMs = 500;

    TabletLink(QString host, quint16 port, const QString& logFile, QObject* parent = nullptr);
    ~TabletLink() override;
    void start();
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // Sends one touch message: the position number and a line end. Not sent while the link is down.
    bool sendTouch(int position);
    void setOnDisplay(std::function<void(const Display&)> handler) { m_onDisplay = std::move(handler); }
    void setOnConnectionChanged(std::function<void(bool)> handler) { m_onConnection = std::move(handler); }

private:
    void connectNow();
    void onConnected();
    void onDisconnected();
    void onReadyRead();
    void log(const QString& line);

    QString m_host;
    quint16 m_port;
    QTcpSocket m_socket;
    QTimer m_retry;
    DisplayStream m_stream;
    QFile m_log;
    QElapsedTimer m_clock;
    std::function<void(const Display&)> m_onDisplay;
    std::function<void(bool)> m_onConnection;
};

} // namespace veltrum::tablet
