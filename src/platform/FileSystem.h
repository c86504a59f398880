// File operations the session needs beyond the workbooks: copy, move, delete, read a small text file.
#pragma once

#include <cstddef>
#include <limits>
#include <string>

namespace veltrum::platform {

class FileSystem {
public:
    static constexpr std::size_t anySize = std::numeric_limits<std::size_t>::max();

    virtual ~FileSystem() = default;
    // Whether anything stands under the name (a link is looked at, not followed).
    virtual bool exists(const std::string& path) const = 0;
    // Copies source to destination, replacing a file or link of that name with a new file (never
    // writing through a link); throws std::runtime_error with a message naming both files on failure.
    virtual void copyFile(const std::string& source, const std::string& destination) = 0;
    // Renames source to destination in one step and never replaces a file: throws std::runtime_error
    // naming both when destination exists or the rename fails.
    virtual void moveFile(const std::string& source, const std::string& destination) = 0;
    // Deletes the file; throws std::runtime_error naming it on failure (a missing file is a failure).
    virtual void removeFile(const std::string& path) = 0;
    // The whole file as bytes in a string. Refuses at once, without waiting, a path that is not a regular
    // file (a symbolic link, a folder, a named pipe, a device) and a file larger than maxBytes; throws
    // std::runtime_error naming the file and saying why.
    virtual std::string readText(const std::string& path, std::size_t maxBytes = anySize) const = 0;
};

} // namespace veltrum::platform
