#include "platform/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::platform {

namespace {

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string kindOf(mode_t mode) {
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not an ordinary file";
}

// The folder part of a path opened as a folder, and the last part.
struct Place {
    FileDescriptor folder;
    std::string name;
};

Place placeOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    Place place;
    place.name = slash == std::string::npos ? path : path.substr(slash + 1);
    place.folder = FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (place.folder.get() < 0) {
        const int error = errno;
        throw SafeFileError("Cannot open the folder of " + quoted(path) + ": " + std::strerror(error) + ".",
                            error);
    }
    return place;
}

[[noreturn]] void refuseKind(const std::string& path, mode_t mode) {
    const int error = S_ISLNK(mode) ? ELOOP : EINVAL;
    throw SafeFileError(quoted(path) + " is " + kindOf(mode) +
                            (S_ISLNK(mode) ? ", and no file is read or written through a link here"
                                           : ", not a file this program reads or writes") +
                            ". Remove it or put the real file in its place.",
                        error);
}

} // namespace

FileDescriptor::~FileDescriptor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

std::string nonRegularKind(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    return kindOf(info.st_mode);
}

FileDescriptor openRegularFile(const std::string& path, int access, bool singleName) {
    const Place place = placeOf(path);
    // Looked at before it is opened, so that a device or pipe is never opened at all.
    struct stat before {};
    if (::fstatat(place.folder.get(), place.name.c_str(), &before, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(before.st_mode))
        refuseKind(path, before.st_mode);
    FileDescriptor fd(::openat(place.folder.get(), place.name.c_str(),
                               access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        struct stat info {};
        if (error == ELOOP &&
            ::fstatat(place.folder.get(), place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            refuseKind(path, info.st_mode);
        throw SafeFileError("Cannot open " + quoted(path) + ": " + std::strerror(error) + ".", error);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        const int error = errno;
        throw SafeFileError("Cannot read " + quoted(path) + ": " + std::strerror(error) + ".", error);
    }
    if (!S_ISREG(info.st_mode))
        refuseKind(path, info.st_mode);
    if (singleName && info.st_nlink > 1)
        throw SafeFileError(quoted(path) + " has " + std::to_string(info.st_nlink) +
                                " names (hard links); it is not changed in place, so that nothing reached by "
                                "another name changes with it.",
                            EMLINK);
    // Regular files never wait; reads and writes block as usual from here on.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

FileDescriptor createNewFile(const std::string& path, mode_t mode) {
    const Place place = placeOf(path);
    FileDescriptor fd(::openat(place.folder.get(), place.name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        const int error = errno;
        std::string why = std::strerror(error);
        if (error == EEXIST) {
            const std::string kind = nonRegularKind(path);
            why = "something already stands under that name (" + (kind.empty() ? "a file" : kind) + ")";
        }
        throw SafeFileError("Cannot create " + quoted(path) + ": " + why + ".", error);
    }
    return fd;
}

bool writeAll(int fd, const void* bytes, std::size_t size) {
    const auto* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool isWorldWritableFolder(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_IWOTH) != 0;
}

} // namespace veltrum::platform
