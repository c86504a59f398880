#include "devices/TouchParser.h"
#include "session/SetupError.h"
#include "session/crt.h"

namespace veltrum::session {

// The tablet socket's events and the touches on the screen's pictures run the window's handlers.
void crt::connectTabletHandlers() {
    platform::TabletSocket::Events events;
    events.connectionRequest = [this](std::int32_t requestId) { Winsock1_ConnectionRequest(requestId); };
    events.dataArrival = [this] { Winsock1_DataArrival(); };
    events.closed = [this] { Winsock1_Close(); };
    events.error = [this](std::int16_t number, const std::string& description) {
        Winsock1_Error(number, description);
    };
    events.refused = [this](const std::string& address) { tabletRefused(address); };
    m_services.socket.setEvents(std::move(events));
    for (int i = Image1.lowerBound(); i <= Image1.upperBound(); ++i)
        Image1(i).setOnMouseDown([this](int index) { Image1_MouseDown(index); });
}

void crt::SendDisplayMessage() {
    // The tablet is told only while it is connected; otherwise the display runs on the screen alone.
    if (m_services.socket.state() != platform::TabletSocket::Connected)
        return;
    std::string message;
    for (const TextBox* box : positionBoxes())
        message += (message.empty() ? "" : ",") + box->text();
    m_services.socket.send(message);
}

bool crt::closeLink() {
    const bool linked = m_services.socket.state() == platform::TabletSocket::Connected;
    m_services.socket.close();
    return linked;
}

void crt::Winsock1_ConnectionRequest(std::int32_t requestID) {
    // Closing the listener means nothing answers a second tablet until this one has gone.
    platform::TabletSocket& socket = m_services.socket;
    if (socket.state() != platform::TabletSocket::Closed)
        socket.close();
    socket.accept(requestID);
    m_touchStream = {};
    Label2.setCaption(std::to_string(requestID));
    TabletAddress.setCaption("tablet at " + socket.peerAddress());
    m_engine.publish(engine::SessionEventKind::LinkUp, {}, 0, socket.peerAddress());
}

void crt::tabletRefused(const std::string& address) {
    m_services.dialogs.showNotice(
        "A connection to the tablet port from " + address +
        " was refused: that address may not be the tablet. The tablet's addresses "
        "are set in TabletAddress.txt in the data folder or with --tablet-address.");
}

// Each touch the tablet reports is scored like a touch on the screen. Text that is not a decimal integer
// within 16 bits, and touches beyond the per-arrival limit, are not scored: Label2 shows "?" so the
// operator sees the tablet sent something unreadable, and the session runs on.
void crt::Winsock1_DataArrival() {
    m_lastTabletMessageAtMs = m_services.scheduler.nowMs();
    devices::TouchParse parsed = devices::TouchParser::parse(m_touchStream, m_services.socket.takeReceived());
    m_touchStream = std::move(parsed.stream);
    for (const std::int16_t received : parsed.positions) {
        state.Position = received;
        if (state.Position > 0) {
            Int16 screenIndex = 0;
            Int16 tabletPosition = state.Position;
            ScoreResponse(screenIndex, tabletPosition);
            // Replaces the "Hopper Up" a rewarded touch has just shown.
            Label1.setCaption("Reinforce");
            Label2.repaint();
            Label2.setCaption(state.Position.toString());
        }
    }
    if (parsed.rejected > 0 || parsed.dropped > 0) {
        Label2.setCaption("?");
        Label2.repaint();
    }
    Label1.repaint();
}

void crt::Winsock1_Close() {
    m_touchStream = {};
    TabletAddress.setCaption("tablet gone; listening again");
    m_engine.publish(engine::SessionEventKind::LinkDown);
    try {
        StartListening();
    } catch (const SetupError& error) {
        // The session runs on without the tablet; the operator learns why it cannot reconnect.
        m_services.dialogs.messageBox(error.what(), "", platform::MessageButtons::Ok,
                                      platform::MessageIcon::Critical);
    }
}

void crt::Winsock1_Error(std::int16_t number, const std::string& description) {
    m_services.dialogs.messageBox("Socket Error " + std::to_string(number) + ": " + description, "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::None);
}

} // namespace veltrum::session
