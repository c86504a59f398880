#include "TabletLink.h"

#include "SettingsFile.h"
#include "SetupError.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

namespace veltrum::session {

namespace {

// The port text as a TCP port, 1..65535; spaces around the digits are allowed.
std::optional<std::int32_t> portNumber(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    std::int32_t port = 0;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(text.data() + first, end, port);
    if (error != std::errc() || stop != end || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

TabletLink::TabletLink(const Services& services, engine::SessionEngine& engine, StimulusScreen& screen,
                       const SessionRows& rows)
    : Text1("Text1")
    , Label9("Label9")
    , Label6("Label6")
    , Label2("Label2")
    , TabletAddress("TabletAddress")
    , m_services(services)
    , m_engine(engine)
    , m_screen(screen)
    , m_rows(rows) {
    platform::TabletSocket::Events events;
    events.connectionRequest = [this](std::int32_t requestId) { Winsock1_ConnectionRequest(requestId); };
    events.dataArrival = [this] { Winsock1_DataArrival(); };
    events.closed = [this] { Winsock1_Close(); };
    events.error = [this](std::int16_t number, const std::string& description) {
        Winsock1_Error(number, description);
    };
    events.refused = [this](const std::string& address) { tabletRefused(address); };
    m_services.socket.setEvents(std::move(events));
    Label2.setOnChange([this] { Label2_Change(); });
}

TabletLink::~TabletLink() {
    if (m_refusalNoticeTask != 0)
        m_services.scheduler.cancel(m_refusalNoticeTask);
}

void TabletLink::listenAtStartUp() {
    readPortFile();
    readTabletAddresses();
    StartListening();
    TabletAddress.setCaption(listeningCaption());
}

void TabletLink::readPortFile() {
    const std::string path = m_services.dataFolder + "/PortNumber.txt";
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The port file " + path +
                         " does not exist. Create it with the TCP port the tablet connects to, for example "
                         "12345.");
    const std::vector<TextField> fields = readSettingsFile(m_services.fileSystem, path, "The port file");
    // An empty file would leave two chambers on the same built-in port without a word.
    if (fields.empty())
        throw SetupError("The port file " + path +
                         " is empty. Write the TCP port the tablet connects to in it, for example 12345.");
    for (const TextField& field : fields)
        Text1.setText(field.text);
    if (!portNumber(Text1.text()))
        throw SetupError("The port file " + path + " gives the port \"" + printable(Text1.text()) +
                         "\", which is not a number from 1 to 65535. Write the tablet's TCP port in it.");
}

void TabletLink::readTabletAddresses() {
    const std::string path = m_services.dataFolder + "/TabletAddress.txt";
    std::vector<std::string> allowed = m_services.allowedTablets;
    std::string source = "The tablet address given on the command line";
    const std::string whatToWrite =
        "Write the tablet's address (192.168.1.20) or subnet (192.168.1.0/24), one per line, or \"" +
        std::string(platform::TabletSocket::anyHost) + "\" to let every host connect";
    if (allowed.empty() && m_services.fileSystem.exists(path)) {
        for (const TextField& field :
             readSettingsFile(m_services.fileSystem, path, "The tablet address file"))
            allowed.push_back(field.text);
        source = "The tablet address file " + path;
        // A file that names nobody must never open the port to every host, nor shut the tablet out unsaid.
        if (allowed.empty())
            throw SetupError(source + " names no address. " + whatToWrite +
                             "; without the file only a tablet on this computer may connect.");
    }
    for (const std::string& entry : allowed) {
        // A subnet of length 0 is every host written in a way easily written by mistake.
        const std::size_t slash = entry.rfind('/');
        const std::string_view length =
            slash == std::string::npos ? std::string_view() : std::string_view(entry).substr(slash + 1);
        if (!length.empty() && length.find_first_not_of('0') == std::string_view::npos)
            throw SetupError(source + ": \"" + printable(entry) +
                             "\" would let every host connect. Write \"" +
                             std::string(platform::TabletSocket::anyHost) +
                             "\" if that is meant, or the tablet's own address or subnet.");
    }
    try {
        m_services.socket.setAllowedPeers(allowed);
    } catch (const std::invalid_argument& error) {
        throw SetupError(source + ": " + printable(error.what(), 120) + ". " + whatToWrite + ".");
    }
    m_tabletLoopbackOnly = allowed.empty();
}

void TabletLink::StartListening() {
    platform::TabletSocket& socket = m_services.socket;
    if (socket.state() != platform::TabletSocket::Closed)
        socket.close();
    const std::optional<std::int32_t> port = portNumber(Text1.text());
    if (!port)
        throw SetupError("The port \"" + printable(Text1.text()) +
                         "\" is not a number from 1 to 65535. Enter the tablet's TCP port in the Port box.");
    socket.setLocalPort(*port);
    try {
        socket.listen();
    } catch (const std::runtime_error& error) {
        std::string reason = error.what();
        if (!reason.empty() && reason.back() != '.')
            reason += '.';
        throw SetupError("Cannot listen for the tablet on port " + std::to_string(*port) + ": " + reason +
                         " Close the program using that port or choose another one in PortNumber.txt.");
    }
}

void TabletLink::SendDisplayMessage() {
    // The tablet is told only while it is connected; otherwise the display runs on the screen alone.
    if (m_services.socket.state() != platform::TabletSocket::Connected)
        return;
    std::string message;
    for (const forms::TextBox* box : m_screen.positionBoxes())
        message += (message.empty() ? "" : ",") + box->text();
    m_services.socket.send(message);
}

bool TabletLink::closeLink() {
    const bool linked = m_services.socket.state() == platform::TabletSocket::Connected;
    m_services.socket.close();
    return linked;
}

void TabletLink::Winsock1_ConnectionRequest(std::int32_t requestID) {
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

void TabletLink::tabletRefused(const std::string& address) {
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

void TabletLink::showRefusalNotice() {
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

void TabletLink::showLinkNotice(const std::string& text) {
    // There is one notice: rows that wait to be written must stay told in it.
    if (m_rows.rowFailure().empty())
        m_services.dialogs.showNotice(text);
    else
        m_services.dialogs.showNotice(text + "\n\n" + m_rows.waitingRowsText());
}

std::string TabletLink::listeningCaption() const {
    return m_tabletLoopbackOnly ? "this computer only; name the tablet in TabletAddress.txt" : "";
}

// Each touch the tablet reports is scored like a touch on the screen. Text that is not a decimal integer
// within 16 bits, and touches beyond the per-arrival limit, are not scored: Label2 shows "?" so the
// operator sees the tablet sent something unreadable, and the session runs on.
void TabletLink::Winsock1_DataArrival() {
    m_lastTabletMessageAtMs = m_services.scheduler.nowMs();
    devices::TouchParse parsed = devices::TouchParser::parse(m_touchStream, m_services.socket.takeReceived());
    m_touchStream = std::move(parsed.stream);
    for (const std::int16_t received : parsed.positions) {
        Position = received;
        if (Position > 0) {
            Int16 screenIndex = 0;
            Int16 tabletPosition = Position;
            m_engine.ScoreResponse(screenIndex, tabletPosition);
            // Replaces the "Hopper Up" a rewarded touch has just shown.
            m_screen.Label1.setCaption("Reinforce");
            Label2.repaint();
            Label2.setCaption(Position.toString());
        }
    }
    if (parsed.rejected > 0 || parsed.dropped > 0) {
        Label2.setCaption("?");
        Label2.repaint();
    }
    m_screen.Label1.repaint();
}

void TabletLink::Winsock1_Close() {
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

void TabletLink::Winsock1_Error(std::int16_t number, const std::string& description) {
    m_services.dialogs.messageBox("Socket Error " + std::to_string(number) + ": " + description, "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::None);
}

void TabletLink::Label2_Change() {
    Label2.setBackground(forms::Rgb{0, 255, 0});
}

bool TabletLink::connected() const {
    return m_services.socket.state() == platform::TabletSocket::Connected;
}

std::string TabletLink::peerAddress() const {
    return m_services.socket.peerAddress();
}

} // namespace veltrum::session
