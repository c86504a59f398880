// File operations the session needs beyond the workbooks: copy, delete, read a small text file.
#pragma once

#include <string>

namespace veltrum::platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool exists(const std::string& path) const = 0;
    // Copies source to destination, replacing a file of that name; throws std::runtime_error with a
    // message naming both files on failure.
    virtual void copyFile(const std::string& source, const std::string& destination) = 0;
    // Deletes the file; throws std::runtime_error naming it on failure (a missing file is a failure).
    virtual void removeFile(const std::string& path) = 0;
    // The whole file as bytes in a string; throws std::runtime_error naming it on failure.
    virtual std::string readText(const std::string& path) const = 0;
};

} // namespace veltrum::platform
