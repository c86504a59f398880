#include "workbook/commit/DurableFile.h"

#include "platform/SafeFile.h"
#include "workbook/WorkbookError.h"
#include "workbook/commit/FileIo.h"

#include <cerrno>
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
    // A link or anything but a regular file under the name is refused, never written through: in a
    // folder others write, a planted link would lead the write to one of the operator's own files.
    if (const std::string kind = platform::nonRegularKind(path); !kind.empty())
        throw WorkbookError(path + ": is " + kind +
                            "; no file is written through a link or over a folder, pipe or device here. "
                            "Remove it, or put the real file in its place.");
    mode_t mode = 0666;
    struct stat original {};
    const bool exists = ::lstat(path.c_str(), &original) == 0;
    if (exists)
        mode = original.st_mode & 07777;
    // Replacing the file needs only the folder's permission; a file the user made read-only is respected.
    if (exists && ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
        fail(path, "the file is read-only; make it writable again to go on", errno);

    const std::string temporary = temporaryName(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
    if (injectedFault(CommitStep::Rename) || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, "cannot replace the file", error);
    }
    // The rename is only durable once the folder entry itself reaches the disk.
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string prefix = "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
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
    // Never through a link, and a folder, pipe or device is refused before a byte is read (a named pipe
    // is not even opened, so nothing waits for a writer).
    if (const std::string kind = platform::nonRegularKind(path); !kind.empty()) {
        std::string says = "is not a regular file (" + kind + "). Check the file name.";
        if (kind == "a folder")
            says = "is a folder, not a workbook. Check the file name.";
        else if (kind == "a symbolic link")
            says = "is a symbolic link; workbooks are not read through links here. Put the workbook itself "
                   "under this name.";
        throw WorkbookError("Cannot open workbook '" + path + "': '" + path + "' " + says);
    }
    platform::FileDescriptor file;
    try {
        file = platform::openRegularFile(path, O_RDONLY);
    } catch (const platform::SafeFileError& error) {
        if (error.error() == ENOENT)
            throw WorkbookError("Cannot open workbook '" + path +
                                "': the file does not exist. Check the folder and the file name.");
        throw unreadable(error.what());
    }
    const int fd = file.get();
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw unreadable(std::strerror(errno));
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
