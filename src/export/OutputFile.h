// A table written into the output folder: made under a new hidden name (created exclusively, never
// through a link), filled, made durable, then renamed over the table's name. Until then the earlier
// table stays whole; a file left unfinished is removed.
#pragma once

#include "export/SafeRead.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace veltrum::exporting {

class OutputFile {
public:
    OutputFile(int folderFd, std::string name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Appends `length` bytes of the open file `fd` from `offset`, without passing them through memory
    // where the system allows it. Ranges that follow each other are copied in one go.
    void copyFrom(int fd, std::uint64_t offset, std::uint64_t length);
    std::uint64_t size() const { return m_written + m_buffer.size() + m_copyLength; }
    // Writes what is buffered and makes the file durable; returns the key it will have under its name.
    FileKey finish();
    // Puts the finished file in place under its name.
    void rename();

private:
    void flush();
    void copyPending();

    int m_folderFd;
    std::string m_name;
    std::string m_temporary;
    int m_fd = -1;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    int m_copyFd = -1; // the range waiting to be copied
    std::uint64_t m_copyOffset = 0;
    std::uint64_t m_copyLength = 0;
    bool m_renamed = false;
};

// Reads a whole small file of the output folder ("" when it is not there), never through a link.
std::string readOwnFile(int folderFd, const std::string& name);

} // namespace veltrum::exporting
