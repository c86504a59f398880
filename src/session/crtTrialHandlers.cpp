#include "session/crt.h"

#include <exception>

namespace veltrum::session {

// The timers of the trial cycle run their tick handlers; the Start button sets the session up.
void crt::connectTrialHandlers() {
    ITI.setOnTick([this] { runSessionHandler(&crt::ITI_Timer); });
    Stimulus.setOnTick([this] { runSessionHandler(&crt::Stimulus_Timer); });
    FI.setOnTick([this] { runSessionHandler(&crt::FI_Timer); });
    Session_Timer.setOnTick([this] { runSessionHandler(&crt::Session_Timer_Timer); });
    Command1.setOnClick([this] { Command1_Click(); });
}

void crt::runSessionHandler(void (crt::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        reportSessionFailure(error.what());
    }
}

void crt::reportSessionFailure(const std::string& what) {
    m_services.dialogs.messageBox(what + "\n\nThe session goes on; check the chamber and the data files.", "",
                                  platform::MessageButtons::Ok, platform::MessageIcon::Critical);
}

} // namespace veltrum::session
