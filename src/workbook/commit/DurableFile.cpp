#include "workbook/commit/DurableFile.h"

#include "workbook/Workbook.h"
#include "workbook/commit/FileIo.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veltrum::workbook {

namespace {

CommitFaultHook& faultHook() {
    static CommitFaultHook hook;
    return hook;
}

bool injectedFault(CommitStep step) {
    return commitFaultInjected(step);
}

} // namespace

bool commitFaultInjected(CommitStep step) {
    const CommitFaultHook& hook = faultHook();
    if (hook && hook(step)) {
        errno = EIO;
        return true;
    }
    return false;
}

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what, int error) {
    throw WorkbookError(path + ": " + what + ": " + std::strerror(error));
}

// The file a commit really replaces: the target of a symbolic link, so the link survives.
std::string resolvedTarget(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer))
        return buffer;
    return path;
}

std::string temporaryName(const std::string& target) {
    // Commits run on the row writer's thread and the chamber's at once: each thread draws its own names.
    thread_local std::mt19937_64 generator{std::random_device{}()};
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(generator()));
    return folder + "." + name + "." + suffix + ".tmp";
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (injectedFault(CommitStep::Write))
            return false;
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void setCommitFaultHook(CommitFaultHook hook) {
    faultHook() = std::move(hook);
}

void replaceFileDurably(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string target = resolvedTarget(path);
    mode_t mode = 0666;
    struct stat original {};
    const bool exists = ::stat(target.c_str(), &original) == 0;
    if (exists)
        mode = original.st_mode & 07777;
    // Replacing the file needs only the folder's permission; a file the user made read-only is respected.
    if (exists && ::access(target.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
        fail(path, "the file is read-only; make it writable again to go on", errno);

    const std::string temporary = temporaryName(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        fail(path, "cannot create a temporary file beside it", errno);

    auto abandon = [&](const std::string& what) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(path, what, error);
    };
    if (!writeAll(fd, bytes))
        abandon("cannot write the new contents");
    // Without an existing file the new one gets the usual permissions filtered by the umask.
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        abandon("cannot set the permissions of the new contents");
    if (injectedFault(CommitStep::Fsync) || ::fsync(fd) != 0)
        abandon("cannot flush the new contents to disk");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, "cannot close the new contents", error);
    }
    if (injectedFault(CommitStep::Rename) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, "cannot replace the file", error);
    }
    // The rename is only durable once the folder entry itself reaches the disk.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        fail(path, "replaced, but cannot open its folder to flush it", errno);
    if (injectedFault(CommitStep::FolderFsync) || ::fsync(folder) != 0) {
        const int error = errno;
        ::close(folder);
        fail(path, "replaced, but cannot flush its folder to disk", error);
    }
    ::close(folder);
}

void removeAbandonedTemporaryFiles(const std::string& path) {
    const std::string target = resolvedTarget(path);
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string prefix = "." + (slash == std::string::npos ? target : target.substr(slash + 1)) + ".";
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        // Exactly the names temporaryName() makes: ".NAME." + 16 hex digits + ".tmp".
        if (name.size() != prefix.size() + 20 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), 16);
        if (digits.find_first_not_of("0123456789abcdef") == std::string::npos)
            ::unlinkat(::dirfd(listing), name.c_str(), 0);
    }
    ::closedir(listing);
}

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    const auto unreadable = [&path](const std::string& why) {
        return WorkbookError("Cannot read workbook '" + path + "': " + why +
                             ". Check that the file is readable and not locked by another program.");
    };
    // Without O_NONBLOCK, opening a named pipe waits for a writer; fstat then tells what was opened
    // before a single byte is read, so a folder, pipe or device is refused at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw WorkbookError("Cannot open workbook '" + path +
                                "': the file does not exist. Check the folder and the file name.");
        throw unreadable(std::strerror(error));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw unreadable(std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        throw WorkbookError("Cannot open workbook '" + path + "': '" + path +
                            "' is a folder, not a workbook. Check the file name.");
    if (!S_ISREG(info.st_mode))
        throw WorkbookError("Cannot open workbook '" + path + "': '" + path +
                            "' is not a regular file (a pipe or a device). Check the file name.");
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (size > MaxWorkbookBytes)
        throw WorkbookError(
            "Workbook '" + path + "' is too large (" + std::to_string(size / (1024 * 1024)) +
            " MB) to be a workbook this program reads. Check that the path names the right file.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw unreadable(std::strerror(errno));
        if (n == 0)
            throw unreadable("the file changed while it was read");
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

} // namespace veltrum::workbook
