// Small file operations the durable commits share: the folder that holds a path, making a folder's
// entries durable, and reading or writing a whole range at an offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veltrum::workbook {

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string folderOf(const std::string& path);
// Makes the entries of the folder that holds `path` durable; false (errno set) when it could not.
bool syncFolder(const std::string& path);
// The whole range, however many calls it takes; false (errno set, ENOSPC for a write that made no
// progress) when it could not. Reading past the end of the file is a failure.
bool writeAllAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset);
bool readAllAt(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset);

} // namespace veltrum::workbook
