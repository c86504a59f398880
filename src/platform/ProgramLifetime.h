// Ending the program: the one way the core asks the application to quit.
#pragma once

namespace veltrum::platform {

class ProgramLifetime {
public:
    virtual ~ProgramLifetime() = default;
    // Asks the application to end once the current handler returns, with the given exit code.
    virtual void endProgram(int exitCode = 0) = 0;
};

} // namespace veltrum::platform
