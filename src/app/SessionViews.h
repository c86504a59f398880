// What the program shows of a session besides its two windows: the operator's console, the session's
// picture saved next to its workbook and shown in the summary window, and the picked subject's history on
// the set-up panel.
#pragma once

#include "console/ConsoleModel.h"
#include "session/crt.h"

#include <QImage>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>

namespace veltrum::qt {
class CrtWindow;
class Form1Window;
} // namespace veltrum::qt

namespace veltrum::console_qt {
class ConsoleWindow;
class HistoryPanel;
} // namespace veltrum::console_qt

namespace veltrum::app {

class SessionViews {
public:
    struct Options {
        bool console = true;
        bool history = true;
    };
    // model and panel must outlive the views.
    SessionViews(session::crt& model, qt::CrtWindow& panel, Options options);
    ~SessionViews();
    SessionViews(const SessionViews&) = delete;
    SessionViews& operator=(const SessionViews&) = delete;

    // Once the panel is on screen: the console opens away from the display the stimulus screen will use.
    void panelShown();
    // The summary window opened; it shows the session's picture once that is drawn, and a discarded
    // session's picture is set aside with its workbook.
    void summaryOpened(qt::Form1Window& summary);

    console::ConsoleModel& consoleModel() { return m_console; }
    console_qt::ConsoleWindow* consoleWindow() { return m_consoleWindow.get(); }
    console_qt::HistoryPanel* historyPanel() { return m_history; }
    // The session's picture file, once it was written (where it was set aside, once it was); empty
    // before.
    const QString& picturePath() const { return m_picturePath; }

private:
    void sessionEnded();
    // The picture beside the workbook now at workbookAside, under the same name with ".png"; returns
    // where it went ("" when there was none, or it could not be moved).
    std::string setPictureAside(const std::string& workbookAside);
    void followPanel(const forms::Control& control);

    session::crt& m_model;
    qt::CrtWindow& m_panel;
    console::ConsoleModel m_console;
    engine::SessionEventBus::Subscription m_subscription = 0;
    std::unique_ptr<console_qt::ConsoleWindow> m_consoleWindow;
    console_qt::HistoryPanel* m_history = nullptr; // a child of the panel
    QPointer<qt::Form1Window> m_summary;
    QImage m_windowPicture;
    QString m_picturePath;
    bool m_discarded = false;
};

} // namespace veltrum::app
