#include "devices/TouchParser.h"
#include "session/SetupError.h"
#include "session/crt.h"

#include <algorithm>
#include <utility>

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
    // The port goes on listening while a tablet is connected: a host that connected and says nothing, or
    // a tablet whose network dropped without a word, can never keep the chamber's tablet out. A new
    // connection (from an address that may be the tablet) takes the link over, and the one before is
    // closed.
    platform::TabletSocket& socket = m_services.socket;
    const std::string replaced =
        socket.state() == platform::TabletSocket::Connected ? socket.peerAddress() : std::string();
    socket.accept(requestID);
    m_touchStream = {};
    const std::string address = socket.peerAddress();
    Label2.setCaption(std::to_string(requestID));
    TabletAddress.setCaption("tablet at " + address);
    if (!replaced.empty())
        showLinkNotice("A new connection from " + address +
                       " took the tablet link over; the connection from " + replaced +
                       " was closed. The session goes on with the tablet at " + address + ".");
    m_engine.publish(engine::SessionEventKind::LinkUp, {}, 0, address);
}

void crt::tabletRefused(const std::string& address) {
    // A flood of refused connections costs a count each: a few addresses are named, the rest counted.
    ++m_refusals.total;
    auto named = std::find_if(m_refusals.named.begin(), m_refusals.named.end(),
                              [&](const auto& entry) { return entry.first == address; });
    if (named != m_refusals.named.end())
        ++named->second;
    else if (m_refusals.named.size() < refusalAddressesNamed)
        m_refusals.named.emplace_back(address, 1);
    else
        ++m_refusals.others;
    if (m_refusalNoticeTask != 0)
        return; // the notice that tells this one is due already
    const std::int64_t now = m_services.scheduler.nowMs();
    const std::int64_t due = m_lastRefusalNoticeMs < 0 ? now : m_lastRefusalNoticeMs + refusalNoticeEveryMs;
    if (due <= now) {
        showRefusalNotice();
        return;
    }
    m_refusalNoticeTask = m_services.scheduler.scheduleAt(due, [this] {
        m_refusalNoticeTask = 0;
        showRefusalNotice();
    });
}

void crt::showRefusalNotice() {
    const bool earlier = m_lastRefusalNoticeMs >= 0;
    m_lastRefusalNoticeMs = m_services.scheduler.nowMs();
    const Refusals refusals = std::exchange(m_refusals, {});
    std::string from;
    for (std::size_t i = 0; i < refusals.named.size(); ++i) {
        const auto& [address, count] = refusals.named[i];
        from += (i == 0 ? "" : ", ") + address;
        if (refusals.total > 1)
            from += " (" + std::to_string(count) + ")";
    }
    if (refusals.others > 0)
        from += " and " + std::to_string(refusals.others) + " from other addresses";
    const std::string what = refusals.total == 1
                                 ? "A connection to the tablet port from " + from + " was refused"
                                 : std::to_string(refusals.total) +
                                       " connections to the tablet port were refused" +
                                       (earlier ? " since the last notice" : "") + ", from " + from;
    showLinkNotice(what + ": " +
                   (refusals.named.size() == 1 && refusals.others == 0 ? "that address" : "those addresses") +
                   " may not be the tablet. The tablet's addresses are set in TabletAddress.txt in the data "
                   "folder or with --tablet-address.");
}

void crt::showLinkNotice(const std::string& text) {
    // There is one notice: rows that wait to be written must stay told in it.
    if (m_rowFailure.empty())
        m_services.dialogs.showNotice(text);
    else
        m_services.dialogs.showNotice(text + "\n\n" + waitingRowsText());
}

std::string crt::listeningCaption() const {
    return m_tabletLoopbackOnly ? "this computer only; name the tablet in TabletAddress.txt" : "";
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
