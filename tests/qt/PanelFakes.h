// Stand-ins for the operator's dialogs and the tablet socket, so the panel runs without a person or network.
#pragma once

#include "platform/Dialogs.h"
#include "platform/TabletSocket.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace veltrum::qt::testing {

// Records every message shown; answers input boxes from a queue (nullopt = Cancel).
class ScriptedDialogs : public platform::Dialogs {
public:
    platform::MessageAnswer messageBox(const std::string& text, const std::string&, platform::MessageButtons,
                                       platform::MessageIcon) override {
        messages.push_back(text);
        return platform::MessageAnswer::Ok;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        if (answers.empty())
            return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void showNotice(const std::string& text) override { notices.push_back(text); }

    std::vector<std::string> messages;
    std::vector<std::string> notices;
    std::deque<std::optional<std::string>> answers;
};

// A socket that listens on whatever port it is given and never sees a tablet.
class IdleTabletSocket : public platform::TabletSocket {
public:
    void setEvents(Events) override {}
    State state() const override { return m_state; }
    void close() override { m_state = Closed; }
    void setLocalPort(std::int32_t port) override { m_port = port; }
    std::int32_t localPort() const override { return m_port; }
    void listen() override { m_state = Listening; }
    void accept(std::int32_t) override {}
    void send(const std::string&) override {}
    std::string takeReceived() override { return {}; }
    void setAllowedPeers(const std::vector<std::string>&) override {}
    std::string peerAddress() const override { return {}; }

private:
    State m_state = Closed;
    std::int32_t m_port = 0;
};

} // namespace veltrum::qt::testing
