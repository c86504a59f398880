// Reading a file of a folder that a running session may be writing, without ever changing it: no link is
// followed, nothing but a regular file is opened, sizes are bounded, and the bytes are taken only when
// the file did not change while it was read and no in-place append was under way.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace veltrum::exporting {

// What identifies one state of a file: an export that sees the same key again need not read it again.
struct FileKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // modification time, nanoseconds since the epoch

    bool operator==(const FileKey&) const = default;
};

enum class ReadStatus {
    Read,    // `bytes` hold one consistent state of the file
    Busy,    // being written each time it was tried: left for the next export
    Refused, // not a regular file, a link, too large, unreadable: `reason` says which
};

struct ReadOutcome {
    ReadStatus status = ReadStatus::Refused;
    std::string bytes;
    FileKey key;
    std::string reason; // for Busy and Refused, in words: "a symbolic link", "a named pipe", ...
};

struct ReadPolicy {
    std::uint64_t maxBytes = 512u * 1024u * 1024u;
    int attempts = 5;
    // A file modified this recently may still be in the middle of a write whose time stamp the file
    // system's clock did not tell apart from the one before: it is tried again after a pause.
    std::int64_t settleNs = 20'000'000;
    // Waits between attempts (attempt counts from 1); the tests make it return at once.
    std::function<void(int attempt)> pause;
    // The wall clock in nanoseconds since the epoch (the tests give their own).
    std::function<std::int64_t()> now;
    // Test hook: called once the bytes are read and before they are checked.
    std::function<void()> afterRead;
};

// What `name` in the open folder `folderFd` is, without following a link: whether it is there, its key
// when it is a regular file, else why it is not one ("a folder", "a named pipe", "a symbolic link", ...).
struct FileState {
    bool exists = false;
    const char* notRegular = nullptr;
    FileKey key;

    bool regular() const { return exists && !notRegular; }
};
FileState examine(int folderFd, const std::string& name);
// The key of an open file; nothing when it is not a regular file.
std::optional<FileKey> keyOfOpenFile(int fd);

// Reads `name` in the open folder `folderFd`. The rollback journal ".<name>.rollback" beside it means an
// in-place append is under way; the file's size and time must be the same before and after the read.
ReadOutcome readConsistently(int folderFd, const std::string& name, const ReadPolicy& policy);

} // namespace veltrum::exporting
