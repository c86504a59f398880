#include "workbook/inplace/FilePatch.h"

#include "platform/SafeFile.h"
#include "workbook/WorkbookError.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/commit/FileIo.h"
#include "workbook/encoding/LittleEndian.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::workbook {

namespace {

constexpr char kMark[8] = {'V', 'L', 'T', 'R', 'B', 'K', '0', '1'};

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw WorkbookError(path + ": " + what + ": " + std::strerror(errno));
}

std::uint64_t checksum(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325ull; // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    return hash;
}

void append64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The journal: mark, the file's length, the number of ranges, each range (offset, length, the bytes
// it held) and a checksum of everything before it.
struct Rollback {
    std::uint64_t length = 0;
    std::vector<FilePatch> ranges;
};

bool parseRollback(const std::vector<std::uint8_t>& bytes, Rollback& out) {
    if (bytes.size() < 28 || std::memcmp(bytes.data(), kMark, 8) != 0)
        return false;
    const std::size_t end = bytes.size() - 8;
    if (checksum(bytes.data(), end) != get64(bytes.data() + end))
        return false;
    out.length = get64(bytes.data() + 8);
    const std::uint32_t count = get32(bytes, 16);
    std::size_t at = 20;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (end - at < 12)
            return false;
        FilePatch range;
        range.offset = get64(bytes.data() + at);
        const std::uint32_t size = get32(bytes, at + 8);
        at += 12;
        if (end - at < size)
            return false;
        range.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
        out.ranges.push_back(std::move(range));
    }
    return at == end;
}

// Puts the old bytes back and the old length; false (errno set) when it could not.
bool restore(int fd, const Rollback& rollback) {
    for (const FilePatch& range : rollback.ranges) {
        if (!writeAllAt(fd, range.bytes.data(), range.bytes.size(), range.offset))
            return false;
    }
    return ::ftruncate(fd, static_cast<off_t>(rollback.length)) == 0 && ::fsync(fd) == 0;
}

// Once the journal is gone the append stands: a folder that will not sync its entry is not a failure
// to report, since a caller would then append the same rows again. Should the removal itself be lost in
// a crash, the next writer rolls back and the rows come again from where they were kept.
void removeRollback(const std::string& journal) {
    if (commitFaultInjected(CommitStep::RollbackRemove) || ::unlink(journal.c_str()) != 0)
        fail(journal, "cannot remove the rollback journal");
    if (!commitFaultInjected(CommitStep::RollbackFolderSync))
        syncFolder(journal);
}

} // namespace

std::string rollbackPathFor(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".rollback";
}

void patchFileDurably(const std::string& path, int fd, std::uint64_t length,
                      const std::vector<FilePatch>& patches) {
    Rollback rollback;
    rollback.length = length;
    std::vector<std::uint8_t> journalBytes(kMark, kMark + 8);
    append64(journalBytes, length);
    std::vector<FilePatch> old;
    for (const FilePatch& patch : patches) {
        if (patch.offset >= length)
            continue;
        FilePatch range{patch.offset, std::vector<std::uint8_t>(std::min<std::uint64_t>(
                                          patch.bytes.size(), length - patch.offset))};
        if (!readAllAt(fd, range.bytes.data(), range.bytes.size(), range.offset))
            fail(path, "cannot read the workbook");
        old.push_back(std::move(range));
    }
    append32(journalBytes, static_cast<std::uint32_t>(old.size()));
    for (const FilePatch& range : old) {
        append64(journalBytes, range.offset);
        append32(journalBytes, static_cast<std::uint32_t>(range.bytes.size()));
        journalBytes.insert(journalBytes.end(), range.bytes.begin(), range.bytes.end());
    }
    append64(journalBytes, checksum(journalBytes.data(), journalBytes.size()));

    const std::string journal = rollbackPathFor(path);
    // Created afresh, never through whatever else stands under its name (a planted link would have the
    // journal's bytes written into its target).
    platform::FileDescriptor out;
    try {
        out = platform::createNewFile(journal, 0644);
    } catch (const platform::SafeFileError& error) {
        throw WorkbookError(std::string(error.what()) + " The rollback journal of an append in place "
                                                        "must be a new file.");
    }
    const bool written = !commitFaultInjected(CommitStep::RollbackWrite) &&
                         writeAllAt(out.get(), journalBytes.data(), journalBytes.size(), 0) &&
                         ::fsync(out.get()) == 0;
    const int error = errno;
    out = platform::FileDescriptor();
    errno = error;
    if (!written || !syncFolder(journal)) {
        // The file is untouched: nothing to roll back.
        const int cause = errno;
        ::unlink(journal.c_str());
        errno = cause;
        fail(journal, "cannot write the rollback journal");
    }

    bool changed = !commitFaultInjected(CommitStep::InPlaceWrite);
    for (const FilePatch& patch : patches) {
        if (!changed)
            break;
        changed = writeAllAt(fd, patch.bytes.data(), patch.bytes.size(), patch.offset);
    }
    if (changed)
        changed = !commitFaultInjected(CommitStep::InPlaceFsync) && ::fsync(fd) == 0;
    if (!changed) {
        const int cause = errno;
        // Back to the old bytes at once; when that fails too, the journal stays for the next writer.
        rollback.ranges = std::move(old);
        if (restore(fd, rollback) && ::unlink(journal.c_str()) == 0)
            syncFolder(journal);
        errno = cause;
        fail(path, "cannot write the workbook");
    }
    removeRollback(journal);
}

RollbackState rollbackState(const std::string& path) {
    struct stat info {};
    if (::lstat(rollbackPathFor(path).c_str(), &info) != 0)
        return RollbackState::None;
    return S_ISREG(info.st_mode) ? RollbackState::Left : RollbackState::Foreign;
}

bool rollBackInterruptedPatch(const std::string& path) {
    const std::string journal = rollbackPathFor(path);
    const auto leftAlone = [&](const std::string& why) {
        return WorkbookError(why + " Neither it nor " + path +
                             " was changed; remove whichever of them this program did not write.");
    };
    if (const std::string kind = platform::nonRegularKind(journal); !kind.empty())
        throw leftAlone(journal + " is " + kind + ", not a rollback journal this program wrote.");
    std::vector<std::uint8_t> bytes;
    try {
        const platform::FileDescriptor in = platform::openRegularFile(journal, O_RDONLY);
        struct stat info {};
        if (::fstat(in.get(), &info) != 0 || info.st_size > static_cast<off_t>(MaxWorkbookBytes))
            throw leftAlone(journal + " is too large to be a rollback journal.");
        bytes.resize(static_cast<std::size_t>(info.st_size));
        if (!readAllAt(in.get(), bytes.data(), bytes.size(), 0))
            fail(journal, "cannot read the rollback journal");
    } catch (const platform::SafeFileError& error) {
        if (error.error() == ENOENT)
            return false;
        throw leftAlone(error.what());
    }
    Rollback rollback;
    if (!parseRollback(bytes, rollback)) {
        // Torn while it was written: the file was never touched.
        if (::unlink(journal.c_str()) != 0 || !syncFolder(journal))
            fail(journal, "cannot remove a torn rollback journal");
        return false;
    }
    // The workbook is rolled back only when it is a regular file with no other name: a link or a hard
    // link planted beside a forged journal would have its target overwritten.
    platform::FileDescriptor fd;
    try {
        fd = platform::openRegularFile(path, O_WRONLY, true);
    } catch (const platform::SafeFileError& error) {
        throw leftAlone(std::string(error.what()) + " The rollback journal " + journal +
                        " beside it was not applied.");
    }
    if (!restore(fd.get(), rollback))
        fail(path, "cannot roll back an interrupted append");
    fd = platform::FileDescriptor();
    removeRollback(journal);
    return true;
}

} // namespace veltrum::workbook
