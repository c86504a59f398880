// Replacing a file's contents atomically and durably: after a commit returns the new bytes are on disk,
// and a crash at any instant leaves either the old or the new file, never a mix.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace veltrum::workbook {

// Write .. FolderFsync: a commit that replaces the file. RollbackWrite .. RollbackRemove: an append
// written into the file in place (the rollback journal written, the file written and fsynced, the
// rollback journal removed).
enum class CommitStep {
    Write,
    Fsync,
    Rename,
    FolderFsync,
    RollbackWrite,
    InPlaceWrite,
    InPlaceFsync,
    RollbackRemove,
    RollbackFolderSync
};

// Test hook: called before each step of a commit; returning true makes that step fail as with EIO.
using CommitFaultHook = std::function<bool(CommitStep)>;
void setCommitFaultHook(CommitFaultHook hook);
// Whether the hook makes `step` fail (errno is then EIO).
bool commitFaultInjected(CommitStep step);

// Writes `bytes` to a new file beside `path`, fsyncs it, renames it over `path` and fsyncs the folder.
// Keeps the permission bits of the file it replaces. A symbolic link, folder, pipe or device under the
// name is refused, never written through or over. On failure before the rename the original is
// untouched and the temporary file removed; throws WorkbookError naming the file and the reason.
void replaceFileDurably(const std::string& path, std::span<const std::uint8_t> bytes);

// Removes temporary files that an interrupted commit of `path` left beside it. Call it only while
// holding the lock that serialises commits to `path`, so that no commit in progress loses its file.
void removeAbandonedTemporaryFiles(const std::string& path);

// Far above any workbook a lab keeps; stops a wrong path to a huge file from exhausting memory.
constexpr std::uintmax_t MaxWorkbookBytes = 512u * 1024u * 1024u;

// Reads a whole workbook file; throws WorkbookError naming the file when it is missing, unreadable,
// too large, a symbolic link, a folder, or not a regular file (a named pipe or device is refused
// without waiting).
std::vector<std::uint8_t> readWholeFile(const std::string& path);

} // namespace veltrum::workbook
