// Writing a compound file back out: every directory entry as it was stored except the start sector and
// size of each stream, every stream's contents as given, in the input's own sector size.
#pragma once

#include "workbook/compound/CompoundImage.h"

#include <cstdint>
#include <vector>

namespace veltrum::workbook {

// Lays the streams out afresh (large streams, mini stream, mini FAT, directory, FAT, DIFAT) with no
// unused or shared sectors. Streams under 4096 bytes go to the mini stream. A large stream `lastEntry`
// goes after everything else, the FAT included, so that sectors added at the end of the file continue it.
std::vector<std::uint8_t> writeCompoundFile(const CompoundImage& image, std::uint32_t lastEntry = 0xFFFFFFFF);

} // namespace veltrum::workbook
