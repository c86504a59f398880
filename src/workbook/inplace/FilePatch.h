// Changing a file in place so that a crash at any instant leaves it either as it was or complete: the
// bytes about to be overwritten (and the file's length) go first to a rollback journal beside it,
// made durable, then the file is written and made durable, then the journal is removed.
//
// What a kill leaves, at each step:
// - while the rollback journal is written or before it is durable: the file untouched; the journal is
//   missing, torn (its checksum fails) or whole; a torn one is removed, a whole one restores bytes that
//   never changed;
// - while the file is written or before it is durable: a whole journal; rolling back restores the old
//   bytes and length;
// - after the file is durable, before the journal's removal is: the journal rolls the file back to
//   its old contents, which is still a whole file (whoever appended then appends again);
// - after that: the new file.
// Whoever next changes the file, or counts what it holds, calls rollBackInterruptedPatch() first, under
// the lock that serialises writers of the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum::workbook {

struct FilePatch {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

// ".<name>.rollback" beside the file.
std::string rollbackPathFor(const std::string& path);

// Writes `patches` into the file at `path` (open for reading and writing as `fd`, `length` bytes long),
// growing it where a patch runs past its end, with the rollback journal around it. Throws WorkbookError
// naming the file; the rollback journal then stays when the file may have been changed.
void patchFileDurably(const std::string& path, int fd, std::uint64_t length,
                      const std::vector<FilePatch>& patches);

// What stands under the rollback journal's name: nothing, a journal left by an interrupted patch, or
// something this program did not write there (a link, a folder...), which is never used.
enum class RollbackState { None, Left, Foreign };
RollbackState rollbackState(const std::string& path);

// Restores the file from a rollback journal left by an interrupted patch and removes the journal; a torn
// journal is removed alone. Returns whether the file was restored. Throws WorkbookError, leaving both
// alone, when the journal is whole but the file cannot be restored (it then stays, for the next
// attempt), when the journal is not a regular file, and when the file is a link or has other hard links.
bool rollBackInterruptedPatch(const std::string& path);

} // namespace veltrum::workbook
