// File operations on the local disk: exists, copy replacing, remove, read a whole file.
#pragma once

#include "platform/FileSystem.h"

namespace veltrum::qt {

class LocalFileSystem : public platform::FileSystem {
public:
    bool exists(const std::string& path) const override;
    void copyFile(const std::string& source, const std::string& destination) override;
    void removeFile(const std::string& path) override;
    std::string readText(const std::string& path) const override;
};

} // namespace veltrum::qt
