// Files in folders that other people write (the Results folder on a lab's share, the data folder,
// /tmp): a name is never followed through a symbolic link, a new file is created only where no name
// stands, and what is opened must be a regular file. Each call opens the folder part of the path and
// works relative to it; only the last part of the path is checked, the folders leading to it are the
// operator's own choice.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace veltrum::platform {

// Why a file could not be used, naming it and saying what to do; error() is the system's error number
// (ELOOP for a symbolic link, EEXIST for a name already taken, EINVAL for a folder, pipe or device,
// EMLINK for a file with other hard links).
class SafeFileError : public std::runtime_error {
public:
    SafeFileError(const std::string& what, int error)
        : std::runtime_error(what)
        , m_error(error) {}
    int error() const { return m_error; }

private:
    int m_error;
};

// An open file's descriptor, closed with the object.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
};

// What stands at `path` when it is not a regular file ("a symbolic link", "a folder", "a named pipe",
// ...), or "" when it is a regular file or nothing is there. The link itself is looked at, never its
// target.
std::string nonRegularKind(const std::string& path);

// Opens the regular file at `path` with `access` (O_RDONLY, O_WRONLY or O_RDWR) without following a
// link and without waiting on a pipe. With `singleName`, a file that has other hard links is refused
// too, so that writing in place changes nothing reached by another name. Throws SafeFileError naming
// the file and saying why.
FileDescriptor openRegularFile(const std::string& path, int access, bool singleName = false);

// Creates a new regular file at `path` for writing with permission bits `mode` (filtered by the
// umask), never where a name already stands (a file, a link, anything: SafeFileError with EEXIST).
FileDescriptor createNewFile(const std::string& path, mode_t mode);

// Writes all of `bytes`; false with errno set (ENOSPC for a write that made no progress).
bool writeAll(int fd, const void* bytes, std::size_t size);

// Whether anyone may create files in `folder` (the mode's "other" write bit, as /tmp and /var/tmp).
bool isWorldWritableFolder(const std::string& folder);

} // namespace veltrum::platform
