#include "web/TabletPage.h"

#include "platform/SafeFile.h"

#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <utility>

namespace veltrum::web {

QByteArray readPicture(const std::string& folder, int number, qint64 maxBytes) {
    if (number < 1 || number > 7)
        return {};
    // Never through a link, and only a regular file (never a device or a pipe that would hold the read)
    // no larger than maxBytes.
    platform::FileDescriptor file;
    try {
        file = platform::openRegularFile(folder + "/" + std::to_string(number) + ".bmp", O_RDONLY);
    } catch (const platform::SafeFileError&) {
        return {};
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || status.st_size > maxBytes)
        return {};
    QByteArray bytes(static_cast<qsizetype>(status.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

class TabletPageService::ServerThread : public QThread {
public:
    ServerThread(Settings settings, LinkTaker takeLink)
        : m_settings(std::move(settings))
        , m_takeLink(std::move(takeLink)) {}

    std::string startListening() {
        std::future<std::string> listening = m_listening.get_future();
        start();
        const std::string failure = listening.get();
        return failure;
    }
    quint16 port() const { return m_port; }

protected:
    void run() override {
        WebServer server(m_settings.limits);
        server.addPageFile(QStringLiteral("/"), "text/html; charset=utf-8", QStringLiteral("tablet.html"));
        server.addPageFile(QStringLiteral("/tablet.js"), "text/javascript; charset=utf-8",
                           QStringLiteral("tablet.js"));
        server.addPageFile(QStringLiteral("/tablet.css"), "text/css; charset=utf-8",
                           QStringLiteral("tablet.css"));
        for (int number = 1; number <= 7; ++number) {
            server.addHandler(QStringLiteral("/images/%1.bmp").arg(number), [this, number] {
                const QByteArray picture = readPicture(m_settings.imageFolder, number, maxPictureBytes);
                if (picture.isEmpty())
                    return Response{404, "text/plain; charset=utf-8", "404 Not Found\n"};
                return Response{200, "image/bmp", picture};
            });
        }
        server.addHandoff(QStringLiteral("/link"), m_takeLink);
        const std::string failure = server.listen(m_settings.port, m_settings.allowed);
        m_port = server.port();
        m_listening.set_value(failure);
        if (!failure.empty())
            return;
        exec();
    }

private:
    Settings m_settings;
    LinkTaker m_takeLink;
    std::promise<std::string> m_listening;
    quint16 m_port = 0;
};

TabletPageService::TabletPageService() = default;

TabletPageService::~TabletPageService() {
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

std::string TabletPageService::start(const Settings& settings, LinkTaker takeLink) {
    if (m_thread)
        return "the tablet page is served already";
    m_thread = std::make_unique<ServerThread>(settings, std::move(takeLink));
    const std::string failure = m_thread->startListening();
    if (!failure.empty()) {
        m_thread->wait();
        m_thread.reset();
    }
    return failure;
}

quint16 TabletPageService::port() const {
    return m_thread ? m_thread->port() : 0;
}

} // namespace veltrum::web
