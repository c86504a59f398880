#include "app/SessionViews.h"

#include "console_qt/ConsoleWindow.h"
#include "console_qt/HistoryChart.h"
#include "console_qt/SessionPicture.h"
#include "platform/LocalFileSystem.h"
#include "qt/CrtWindow.h"
#include "qt/Form1Window.h"
#include "workbook/commit/DurableFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace veltrum::app {

namespace {

// The panel's free corner, right of the Start button and below the last row of controls.
constexpr QRect historyArea(392, 394, 388, 174);

} // namespace

SessionViews::SessionViews(session::crt& model, qt::CrtWindow& panel, Options options)
    : m_model(model)
    , m_panel(panel)
    , m_console([&model] { return model.snapshot(); }) {
    m_subscription = m_model.events().subscribe([this](const engine::SessionEvent& event) {
        m_console.onEvent(event);
        if (event.kind == engine::SessionEventKind::SessionEnded)
            // Drawn and written after the chamber's handler has returned.
            QTimer::singleShot(0, &m_panel, [this] { sessionEnded(); });
    });
    if (options.console)
        m_consoleWindow = std::make_unique<console_qt::ConsoleWindow>(m_console);
    if (options.history) {
        m_history = new console_qt::HistoryPanel(*m_model.services().records, &m_panel);
        m_history->setGeometry(historyArea);
        m_history->show();
        m_panel.setOnModelChange([this](const forms::Control& control) { followPanel(control); });
        followPanel(m_model.panel.Subject_In);
    }
}

SessionViews::~SessionViews() {
    m_panel.setOnModelChange({});
    m_model.events().unsubscribe(m_subscription);
}

void SessionViews::panelShown() {
    if (m_consoleWindow)
        m_consoleWindow->showAwayFrom(m_panel.screen());
}

void SessionViews::followPanel(const forms::Control& control) {
    if (!m_history)
        return;
    if (m_panel.showsStimulusScreen()) {
        m_history->hide();
        return;
    }
    if (&control != &m_model.panel.Subject_In && &control != &m_model.panel.SessionNum)
        return;
    const QString summary = QDir(QString::fromStdString(m_model.services().dataFolder))
                                .filePath(QStringLiteral("Results/Results_Summary.xls"));
    m_history->requestSubject(summary, QString::fromStdString(m_model.panel.Subject_In.text()));
}

void SessionViews::sessionEnded() {
    // A session discarded before its picture was drawn keeps no picture.
    if (m_discarded)
        return;
    m_console.refresh();
    QImage picture = console_qt::renderSessionPicture(m_console.live());
    const QString workbook = QString::fromStdString(m_model.engine().state().NewDataFile);
    if (!workbook.isEmpty()) {
        const QString path = console_qt::sessionPicturePath(workbook);
        // Written as the workbooks are: a new file renamed into place, never through a link planted
        // under the picture's name in the shared Results folder.
        QByteArray png;
        QBuffer buffer(&png);
        try {
            if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG"))
                throw std::runtime_error("the picture could not be drawn as PNG");
            workbook::replaceFileDurably(path.toStdString(),
                                         {reinterpret_cast<const std::uint8_t*>(png.constData()),
                                          static_cast<std::size_t>(png.size())});
            m_picturePath = path;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "veltrum: the session's picture could not be written to %s: %s\n",
                         qUtf8Printable(path), error.what());
        }
    }
    // The window shows the picture drawn again at its own size, so that its labels keep their size.
    m_windowPicture = console_qt::renderSessionPicture(m_console.live(), qt::Form1Window::pictureSize());
    if (m_summary)
        m_summary->setSessionPicture(m_windowPicture);
}

void SessionViews::summaryOpened(qt::Form1Window& summary) {
    m_summary = &summary;
    if (!m_windowPicture.isNull())
        summary.setSessionPicture(m_windowPicture);
    summary.model().setOnSetAside(
        [this](const std::string& workbookAside) { return setPictureAside(workbookAside); });
}

std::string SessionViews::setPictureAside(const std::string& workbookAside) {
    m_discarded = true;
    if (m_picturePath.isEmpty())
        return {};
    // The picture takes the workbook's new name with ".png" for ".xls". Should a file hold that name
    // already, "-2", "-3" and on are added to it: nothing is ever replaced.
    const std::string source = m_picturePath.toStdString();
    const std::string wanted =
        console_qt::sessionPicturePath(QString::fromStdString(workbookAside)).toStdString();
    const std::string stem = wanted.substr(0, wanted.size() - 4);
    platform::LocalFileSystem files;
    for (int copy = 1; copy <= 1000; ++copy) {
        const std::string aside = copy == 1 ? wanted : stem + "-" + std::to_string(copy) + ".png";
        try {
            files.moveFile(source, aside);
            m_picturePath = QString::fromStdString(aside);
            return aside;
        } catch (const std::runtime_error& failure) {
            if (files.exists(aside) && files.exists(source))
                continue;
            std::fprintf(stderr, "veltrum: the session's picture was not set aside: %s\n", failure.what());
            return {};
        }
    }
    return {};
}

} // namespace veltrum::app
