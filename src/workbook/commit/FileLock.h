// Serialising writers of one workbook across processes, and noticing a spreadsheet program that has it open.
#pragma once

#include <string>

namespace veltrum::workbook {

// Holds an exclusive flock on the folder that contains a workbook for as long as it lives.
// The folder, not the workbook, is locked: each commit renames a new file over the workbook, so a lock
// on the old inode would let a second writer lock the new one and both would append to stale copies.
// The folder always exists, survives the rename and leaves no lock file beside the user's workbooks;
// the price is that commits to different workbooks of one folder wait for each other (about a millisecond).
class FolderLock {
public:
    // Blocks until the lock is held; throws WorkbookError naming the file when the folder cannot be opened.
    explicit FolderLock(const std::string& workbookPath);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

// The lock file a spreadsheet program keeps beside a workbook it has open (LibreOffice's `.~lock.NAME#`,
// Excel's `~$NAME`), or "" when there is none.
std::string spreadsheetLockFile(const std::string& workbookPath);

// Throws WorkbookError naming the file and the lock file when a spreadsheet program holds the workbook open.
void refuseIfOpenInSpreadsheet(const std::string& workbookPath);

} // namespace veltrum::workbook
