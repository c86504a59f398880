// The tablet link: the port the tablet connects to, who may connect, the link indicator, and the socket's
// handlers Winsock1_*. Touch messages from the tablet are scored by the session engine; the engine's
// display goes to the tablet as one display message built from the stimulus screen's position boxes.
#pragma once

#include "Services.h"
#include "SessionRows.h"
#include "StimulusScreen.h"
#include "devices/TouchParser.h"
#include "engine/SessionEngine.h"
#include "forms/Controls.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace veltrum::session {

using forms::Int16;

class TabletLink final : public engine::Link {
public:
    TabletLink(const Services& services, engine::SessionEngine& engine, StimulusScreen& screen,
               const SessionRows& rows);
    ~TabletLink() override;
    TabletLink(const TabletLink&) = delete;
    TabletLink& operator=(const TabletLink&) = delete;

    forms::TextBox Text1; // the port
    forms::Label Label9;
    forms::Label Label6;
    forms::Label Label2; // the link indicator: red until its text first changes
    forms::Label TabletAddress;
    // The position in the tablet's last touch message.
    Int16 Position;

    // Start-up's part of the link: reads the port and the tablet's addresses, and listens. Throws
    // SetupError (what failed, where, what to do).
    void listenAtStartUp();
    // Listens on the port in Text1, closing the socket first when it is open.
    void StartListening();

    void Winsock1_ConnectionRequest(std::int32_t requestID);
    void Winsock1_DataArrival();
    void Winsock1_Close();
    void Winsock1_Error(std::int16_t number, const std::string& description);
    void Label2_Change();

    // The engine's link: the display message, and closing the link at the session's end.
    void SendDisplayMessage() override;
    bool closeLink() override;

    // The link's figures for a session snapshot.
    bool connected() const;
    std::string peerAddress() const;
    std::int64_t lastMessageAtMs() const { return m_lastTabletMessageAtMs; }

private:
    void readPortFile();
    void readTabletAddresses();
    // A host that may not be the tablet tried to connect and was turned away: counted, and told in a
    // notice at most once every refusalNoticeEveryMs.
    void tabletRefused(const std::string& address);
    void showRefusalNotice();
    // A notice about the tablet link; rows waiting to be written stay told in it.
    void showLinkNotice(const std::string& text);
    // The tablet caption while no tablet is connected: where the port is open.
    std::string listeningCaption() const;

    Services m_services;
    engine::SessionEngine& m_engine;
    StimulusScreen& m_screen;
    const SessionRows& m_rows;
    std::int64_t m_lastTabletMessageAtMs = -1;
    // Bytes of a tablet touch not yet ended, carried from one arrival to the next; fresh per connection.
    devices::TouchStream m_touchStream;
    // No tablet address named: the port is open to this computer only.
    bool m_tabletLoopbackOnly = true;
    // Refused connections since the last notice about them; a few addresses are named, the rest counted.
    static constexpr std::int64_t refusalNoticeEveryMs = 10'000;
    static constexpr std::size_t refusalAddressesNamed = 5;
    struct Refusals {
        std::vector<std::pair<std::string, std::uint64_t>> named;
        std::uint64_t others = 0;
        std::uint64_t total = 0;
    } m_refusals;
    std::int64_t m_lastRefusalNoticeMs = -1;
    platform::Scheduler::TaskId m_refusalNoticeTask = 0;
};

} // namespace veltrum::session
