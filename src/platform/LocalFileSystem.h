// File operations on the local disk: exists, copy replacing, move without replacing, remove, read.
#pragma once

#include "platform/FileSystem.h"

namespace veltrum::platform {

class LocalFileSystem : public FileSystem {
public:
    bool exists(const std::string& path) const override;
    void copyFile(const std::string& source, const std::string& destination) override;
    void moveFile(const std::string& source, const std::string& destination) override;
    void removeFile(const std::string& path) override;
    std::string readText(const std::string& path, std::size_t maxBytes = anySize) const override;
};

} // namespace veltrum::platform
