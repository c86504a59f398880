#include "export/SafeRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace veltrum::exporting {

namespace {

FileKey keyOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

const char* typeName(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file";
}

std::string sizeText(std::uint64_t bytes) {
    char text[64];
    if (bytes >= 1'000'000'000)
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

bool rollbackPresent(int folderFd, const std::string& name) {
    struct stat status {};
    return fstatat(folderFd, ("." + name + ".rollback").c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

std::int64_t wallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

enum class Attempt { Done, Again };

Attempt readOnce(int folderFd, const std::string& name, const ReadPolicy& policy, ReadOutcome& outcome) {
    outcome = {};
    struct stat named {};
    if (fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        outcome.reason = std::strerror(errno);
        return Attempt::Done;
    }
    // The type is checked before opening, so that no device or pipe is ever opened.
    if (!S_ISREG(named.st_mode)) {
        outcome.reason = typeName(named.st_mode);
        return Attempt::Done;
    }
    if (static_cast<std::uint64_t>(named.st_size) > policy.maxBytes) {
        outcome.reason =
            sizeText(static_cast<std::uint64_t>(named.st_size)) + ", larger than any file the program writes";
        return Attempt::Done;
    }
    if (rollbackPresent(folderFd, name)) {
        outcome.status = ReadStatus::Busy;
        outcome.reason = "an append to it was under way";
        return Attempt::Again;
    }
    const Descriptor fd(
        openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        outcome.reason = errno == ELOOP ? "a symbolic link" : std::strerror(errno);
        return Attempt::Done;
    }
    struct stat before {};
    if (fstat(fd.get(), &before) != 0) {
        outcome.reason = std::strerror(errno);
        return Attempt::Done;
    }
    if (!S_ISREG(before.st_mode) || before.st_ino != named.st_ino || before.st_dev != named.st_dev) {
        outcome.status = ReadStatus::Busy;
        outcome.reason = "it was replaced while it was opened";
        return Attempt::Again;
    }
    const FileKey key = keyOf(before);
    if (key.size > policy.maxBytes) {
        outcome.reason = sizeText(key.size) + ", larger than any file the program writes";
        return Attempt::Done;
    }
    const std::int64_t now = policy.now ? policy.now() : wallClockNs();
    if (now - key.modifiedNs < policy.settleNs) {
        outcome.status = ReadStatus::Busy;
        outcome.reason = "it was being written";
        return Attempt::Again;
    }
    std::string bytes(key.size, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            pread(fd.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            outcome.reason = std::strerror(errno);
            return Attempt::Done;
        }
        if (got == 0)
            break; // shorter than it was: caught below
        done += static_cast<std::size_t>(got);
    }
    if (policy.afterRead)
        policy.afterRead();
    struct stat after {};
    if (fstat(fd.get(), &after) != 0) {
        outcome.reason = std::strerror(errno);
        return Attempt::Done;
    }
    if (done != bytes.size() || !(keyOf(after) == key) || rollbackPresent(folderFd, name)) {
        outcome.status = ReadStatus::Busy;
        outcome.reason = "it changed while it was read";
        return Attempt::Again;
    }
    outcome.status = ReadStatus::Read;
    outcome.bytes = std::move(bytes);
    outcome.key = key;
    return Attempt::Done;
}

} // namespace

FileState examine(int folderFd, const std::string& name) {
    FileState file;
    struct stat status {};
    if (fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return file;
    file.exists = true;
    if (S_ISREG(status.st_mode))
        file.key = keyOf(status);
    else
        file.notRegular = typeName(status.st_mode);
    return file;
}

std::optional<FileKey> keyOfOpenFile(int fd) {
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return keyOf(status);
}

ReadOutcome readConsistently(int folderFd, const std::string& name, const ReadPolicy& policy) {
    ReadOutcome outcome;
    for (int attempt = 1; attempt <= policy.attempts; ++attempt) {
        if (readOnce(folderFd, name, policy, outcome) == Attempt::Done)
            return outcome;
        if (attempt < policy.attempts) {
            if (policy.pause)
                policy.pause(attempt);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(25 * attempt));
        }
    }
    outcome.status = ReadStatus::Busy;
    outcome.bytes.clear();
    return outcome;
}

} // namespace veltrum::exporting
