#include "ScriptedDialogs.h"

#include <utility>

namespace veltrum::testing {

platform::MessageAnswer ScriptedDialogs::messageBox(const std::string& text, const std::string& title,
                                                    platform::MessageButtons buttons,
                                                    platform::MessageIcon icon,
                                                    platform::MessageDefault defaultButton) {
    if (whileAsking && buttons != platform::MessageButtons::Ok)
        std::exchange(whileAsking, nullptr)();
    m_messages.push_back({text, title, buttons, icon, defaultButton});
    if (!m_answers.empty()) {
        const platform::MessageAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    if (buttons == platform::MessageButtons::Ok)
        return platform::MessageAnswer::Ok;
    return defaultButton == platform::MessageDefault::No ? platform::MessageAnswer::No
                                                         : platform::MessageAnswer::Yes;
}

std::optional<std::string> ScriptedDialogs::inputBox(const std::string& title, const std::string& prompt,
                                                     const std::string& defaultText) {
    m_inputsAsked.push_back({title, prompt, defaultText});
    if (m_inputs.empty())
        return std::nullopt;
    std::optional<std::string> text = std::move(m_inputs.front());
    m_inputs.pop_front();
    return text;
}

} // namespace veltrum::testing
