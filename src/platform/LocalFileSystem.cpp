#include "platform/LocalFileSystem.h"

#include "platform/SafeFile.h"

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

std::string sizeText(std::uintmax_t bytes) {
    if (bytes >= 1024 * 1024)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

bool LocalFileSystem::exists(const std::string& path) const {
    // A name taken by anything, a dangling link included.
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void LocalFileSystem::copyFile(const std::string& source, const std::string& destination) {
    const auto failed = [&](const std::string& why) {
        return std::runtime_error("Cannot copy " + quoted(source) + " to " + quoted(destination) + ": " +
                                  why);
    };
    // The copy is a new file: whatever stood under its name (a link planted there too) is removed, never
    // written through, and the file is then created exclusively.
    struct stat info {};
    if (::lstat(destination.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
        ::unlink(destination.c_str()) != 0)
        throw failed(std::strerror(errno));
    try {
        const FileDescriptor in = openRegularFile(source, O_RDONLY);
        struct stat sourceInfo {};
        if (::fstat(in.get(), &sourceInfo) != 0)
            throw failed(std::strerror(errno));
        FileDescriptor out = createNewFile(destination, sourceInfo.st_mode & 0666);
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || (n > 0 && !writeAll(out.get(), buffer, static_cast<std::size_t>(n)))) {
                const int error = errno;
                out = FileDescriptor();
                ::unlink(destination.c_str());
                throw failed(std::strerror(error));
            }
            if (n == 0)
                break;
        }
    } catch (const SafeFileError& error) {
        throw failed(error.what());
    }
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
    // Never through a link, and without waiting, so a named pipe with no writer cannot hold the program;
    // only a regular file is read.
    FileDescriptor file;
    try {
        file = openRegularFile(path, O_RDONLY);
    } catch (const SafeFileError& error) {
        if (error.error() == ENOENT || error.error() == EACCES)
            throw std::runtime_error("Cannot open " + quoted(path) +
                                     " for reading: " + std::strerror(error.error()) + ".");
        throw std::runtime_error(error.what());
    }
    const int fd = file.get();
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw std::runtime_error("Cannot read " + quoted(path) + ": " + std::strerror(errno) + ".");
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
