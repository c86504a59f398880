// The tablet page: any tablet's browser as the chamber's tablet. A server on a thread of its own serves
// the page (the six positions as the stimulus screen lays them out), its script and style, and the data
// folder's pictures 1.bmp to 7.bmp, read afresh for each request from regular files only, never through
// a link, and only up to maxPictureBytes. The page's WebSocket link is handed, as it opens, to the
// tablet socket on the chamber's thread, where it is a tablet like the TCP one; nothing of the pages or
// the pictures runs on the chamber's thread.
#pragma once

#include "qt/HostAllowList.h"
#include "web/WebServer.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <string>

namespace veltrum::web {

class TabletPageService {
public:
    static constexpr qint64 maxPictureBytes = 16 * 1024 * 1024;

    struct Settings {
        quint16 port = 0; // 0: one the system chooses (tests)
        // Who may open the page: the tablet's allow-list.
        qt::HostAllowList allowed;
        std::string imageFolder;
        Limits limits;
    };
    // Receives each connection that opens the link: called on the server's thread, it must pass the
    // descriptor on (to the chamber's thread) without waiting.
    using LinkTaker = WebServer::Handoff;

    TabletPageService();
    ~TabletPageService();
    TabletPageService(const TabletPageService&) = delete;
    TabletPageService& operator=(const TabletPageService&) = delete;

    // Starts the server's thread and listens, waiting for it to say whether it could (at start-up,
    // before any session). Returns why it could not, or "" once the page is served.
    std::string start(const Settings& settings, LinkTaker takeLink);
    quint16 port() const;

private:
    class ServerThread;
    std::unique_ptr<ServerThread> m_thread;
};

// Picture `number` (1 to 7) of `folder`, or empty when it is missing, a link, not a regular file or over
// `maxBytes`.
QByteArray readPicture(const std::string& folder, int number, qint64 maxBytes);

} // namespace veltrum::web
