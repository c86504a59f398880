// The modal questions the controller asks the operator.
#pragma once

#include <optional>
#include <string>

namespace veltrum::platform {

enum class MessageButtons { Ok, YesNoCancel, YesNo };
enum class MessageIcon { None, Information, Warning, Critical, Question };
enum class MessageAnswer { Ok, Yes, No, Cancel };
// The button Enter presses: the box's first (OK or Yes), or No, for a question whose Yes is hard to undo.
enum class MessageDefault { First, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a message box and waits for the operator; an empty title means the program's own. Enter
    // answers the first button; Escape answers Cancel, or No, or OK.
    MessageAnswer messageBox(const std::string& text, const std::string& title, MessageButtons buttons,
                             MessageIcon icon) {
        return messageBox(text, title, buttons, icon, MessageDefault::First);
    }
    // The same with the button Enter presses chosen. A box whose default is No is answered only by Enter,
    // Escape or a click: letters typed on while it is up (the operator meant them for another window) do
    // not press its buttons.
    virtual MessageAnswer messageBox(const std::string& text, const std::string& title,
                                     MessageButtons buttons, MessageIcon icon,
                                     MessageDefault defaultButton) = 0;
    // Shows an input box; nullopt when the operator cancels, a (possibly empty) text on OK.
    virtual std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                                const std::string& defaultText) = 0;
    // Shows a notice that does not wait for the operator. There is at most one: a new text replaces the
    // one shown, so a failure that repeats updates the notice instead of stacking boxes; an empty text
    // takes it away.
    virtual void showNotice(const std::string& text) = 0;
};

} // namespace veltrum::platform
