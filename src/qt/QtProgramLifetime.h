// Ends the Qt event loop when the session asks the program to end.
#pragma once

#include "platform/ProgramLifetime.h"

namespace veltrum::qt {

class QtProgramLifetime : public platform::ProgramLifetime {
public:
    // The loop ends after the handler that asked returns, so its last writes and repaints complete.
    void endProgram(int exitCode = 0) override;
    bool hasEnded() const { return m_ended; }
    int exitCode() const { return m_exitCode; }

private:
    bool m_ended = false;
    int m_exitCode = 0;
};

} // namespace veltrum::qt
