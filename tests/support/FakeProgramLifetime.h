// Records the program's request to end instead of ending the test.
#pragma once

#include "platform/ProgramLifetime.h"

#include <optional>

namespace veltrum::testing {

class FakeProgramLifetime : public platform::ProgramLifetime {
public:
    void endProgram(int exitCode) override {
        m_exitCode = exitCode;
        ++m_calls;
    }
    bool ended() const { return m_calls > 0; }
    int endCount() const { return m_calls; }
    std::optional<int> exitCode() const { return m_exitCode; }

private:
    std::optional<int> m_exitCode;
    int m_calls = 0;
};

} // namespace veltrum::testing
