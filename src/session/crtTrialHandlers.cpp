#include "session/crt.h"

namespace veltrum::session {

// The trial cycle's timers run in the engine; the Start button sets the session up.
void crt::connectTrialHandlers() {
    Command1.setOnClick([this] { Command1_Click(); });
}

void crt::reportSessionFailure(const std::string& what) {
    m_services.dialogs.messageBox(what + "\n\nThe session goes on; check the chamber and the data files.", "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::Critical);
}

void crt::showHopperWords(std::string_view words) {
    Label1.setCaption(std::string(words));
    Label1.repaint();
}

void crt::showOutcomeWords(std::string_view words) {
    Label3.setCaption(std::string(words));
    Label3.repaint();
}

} // namespace veltrum::session
