// Dialogs that answer from queues and record every question asked.
#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltrum::testing {

class ScriptedDialogs : public platform::Dialogs {
public:
    struct Message {
        std::string text;
        std::string title;
        platform::MessageButtons buttons;
        platform::MessageIcon icon;
        platform::MessageDefault defaultButton;
    };
    struct Input {
        std::string title;
        std::string prompt;
        std::string defaultText;
    };

    // Answers for the coming message boxes; when none is queued a box answers as Enter would: Ok, Yes, or
    // No when No is its default.
    void queueAnswer(platform::MessageAnswer answer) { m_answers.push_back(answer); }
    // Texts for the coming input boxes; nullopt is Cancel. With none queued an input box is cancelled.
    void queueInput(std::optional<std::string> text) { m_inputs.push_back(std::move(text)); }
    // Runs once while the next question (a box with more than OK) waits for its answer, as time passes
    // while a real modal box is open and the window's timers keep running.
    std::function<void()> whileAsking;

    using platform::Dialogs::messageBox;
    platform::MessageAnswer messageBox(const std::string& text, const std::string& title,
                                       platform::MessageButtons buttons, platform::MessageIcon icon,
                                       platform::MessageDefault defaultButton) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& defaultText) override;
    void showNotice(const std::string& text) override { m_notices.push_back(text); }

    const std::vector<Message>& messages() const { return m_messages; }
    const std::vector<Input>& inputs() const { return m_inputsAsked; }
    // Every notice shown, in order; an empty one took the notice away.
    const std::vector<std::string>& notices() const { return m_notices; }
    std::string currentNotice() const { return m_notices.empty() ? std::string() : m_notices.back(); }

private:
    std::deque<platform::MessageAnswer> m_answers;
    std::deque<std::optional<std::string>> m_inputs;
    std::vector<Message> m_messages;
    std::vector<Input> m_inputsAsked;
    std::vector<std::string> m_notices;
};

} // namespace veltrum::testing
