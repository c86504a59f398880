#include "platform/LocalFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::platform {

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// What a path that is not a regular file is, in the operator's words.
std::string kindOf(mode_t mode) {
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

std::string sizeText(std::uintmax_t bytes) {
    if (bytes >= 1024 * 1024)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

bool LocalFileSystem::exists(const std::string& path) const {
    std::error_code error;
    return fs::exists(fs::u8path(path), error);
}

void LocalFileSystem::copyFile(const std::string& source, const std::string& destination) {
    std::error_code error;
    fs::copy_file(fs::u8path(source), fs::u8path(destination), fs::copy_options::overwrite_existing, error);
    if (error)
        throw std::runtime_error("Cannot copy " + quoted(source) + " to " + quoted(destination) + ": " +
                                 error.message());
}

void LocalFileSystem::moveFile(const std::string& source, const std::string& destination) {
    auto fail = [&](int error) {
        throw std::runtime_error("Cannot move " + quoted(source) + " to " + quoted(destination) + ": " +
                                 std::strerror(error));
    };
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        fail(errno);
    // A file system without the no-replace rename: a hard link fails when the name is taken.
    if (::link(source.c_str(), destination.c_str()) == 0) {
        ::unlink(source.c_str());
        return;
    }
    if (errno == EEXIST)
        fail(errno);
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0)
        fail(EEXIST);
    if (::rename(source.c_str(), destination.c_str()) != 0)
        fail(errno);
}

void LocalFileSystem::removeFile(const std::string& path) {
    std::error_code error;
    if (!fs::remove(fs::u8path(path), error)) {
        const std::string reason = error ? error.message() : std::string("no such file");
        throw std::runtime_error("Cannot delete " + quoted(path) + ": " + reason);
    }
}

std::string LocalFileSystem::readText(const std::string& path, std::size_t maxBytes) const {
    // Opened without waiting, so a named pipe with no writer cannot hold the program; only a regular
    // file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("Cannot open " + quoted(path) + " for reading: " + std::strerror(errno) +
                                 ".");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw std::runtime_error("Cannot read " + quoted(path) + ": " + std::strerror(errno) + ".");
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error(quoted(path) + " is " + kindOf(info.st_mode) +
                                 ", not a file that can be read.");
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (size > maxBytes)
        throw std::runtime_error(quoted(path) + " is " + sizeText(size) + " long; at most " +
                                 sizeText(maxBytes) + " is expected of it.");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("Cannot read " + quoted(path) + ": " + std::strerror(errno) + ".");
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > maxBytes)
            throw std::runtime_error(quoted(path) + " grew beyond " + sizeText(maxBytes) +
                                     " while being read.");
    }
    return bytes;
}

} // namespace veltrum::platform
