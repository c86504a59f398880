// The real file system, logging every call so tests can check what was touched.
#pragma once

#include "platform/LocalFileSystem.h"

#include <string>
#include <vector>

namespace veltrum::testing {

class DiskFileSystem : public platform::LocalFileSystem {
public:
    struct Call {
        std::string operation; // "exists", "copy", "move", "remove", "read"
        std::string path;      // the destination for "copy" and "move"
    };

    bool exists(const std::string& path) const override;
    void copyFile(const std::string& source, const std::string& destination) override;
    void moveFile(const std::string& source, const std::string& destination) override;
    void removeFile(const std::string& path) override;
    std::string readText(const std::string& path, std::size_t maxBytes = anySize) const override;

    const std::vector<Call>& calls() const { return m_calls; }
    // Paths read, in order (workbooks are read whole through readText).
    std::vector<std::string> reads() const;
    void clearCalls() { m_calls.clear(); }

private:
    mutable std::vector<Call> m_calls;
};

} // namespace veltrum::testing
