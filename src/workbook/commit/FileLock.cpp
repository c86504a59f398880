#include "workbook/commit/FileLock.h"

#include "workbook/WorkbookError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::workbook {

namespace {

std::pair<std::string, std::string> splitPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

FolderLock::FolderLock(const std::string& workbookPath) {
    // The folder the workbook's name is in: workbooks are never reached through links, so every writer
    // of the file names it in this folder.
    const std::string folder = splitPath(workbookPath).first;
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        throw WorkbookError(workbookPath + ": cannot open its folder to lock it: " + std::strerror(errno));
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(m_fd);
        throw WorkbookError(workbookPath + ": cannot lock its folder: " + std::strerror(error));
    }
}

FolderLock::~FolderLock() {
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor releases the flock
}

std::string spreadsheetLockFile(const std::string& workbookPath) {
    const auto [folder, name] = splitPath(workbookPath);
    for (const std::string& candidate : {".~lock." + name + "#", "~$" + name}) {
        const std::string full = folder + "/" + candidate;
        if (exists(full))
            return full;
    }
    return {};
}

void refuseIfOpenInSpreadsheet(const std::string& workbookPath) {
    const std::string lockFile = spreadsheetLockFile(workbookPath);
    if (!lockFile.empty())
        throw WorkbookError(workbookPath + ": the workbook is open in a spreadsheet program (lock file " +
                            lockFile +
                            "); close it there first, or delete the lock file if that program is no longer "
                            "running, so that its next save does not discard the rows written here");
}

} // namespace veltrum::workbook
