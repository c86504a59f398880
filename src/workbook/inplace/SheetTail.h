// What an in-place append needs to know of a laid-out workbook, learnt from the whole file once and
// then kept from one append to the next, so that an append reads only a few kilobytes however many rows
// the sheet holds.
#pragma once

#include "workbook/append/RowBlocks.h"
#include "workbook/biff/Layout.h"
#include "workbook/inplace/StreamGrowth.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace veltrum::workbook {

// The stream's beginning (globals and the sheet's records up to its header row), its closing records and
// where they start, the last row's number and formats, and where the stream lies in the file.
struct SheetTail {
    std::string sheet;
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> closing;
    std::uint32_t closingOffset = 0;
    int lastCellRow = -1;
    std::map<std::uint16_t, std::uint16_t> lastRowXf;
    RowTemplate rowTemplate{};
    StreamPlace place;
    // The file as the last append left it: any other change (a spreadsheet program saved it, another
    // controller appended) shows in one of these and the workbook is read afresh.
    dev_t device = 0;
    ino_t inode = 0;
    off_t length = 0;
    timespec modified{};
};

// The tail the last append in this process left, when the file (open as `fd`) is still as it left it.
std::optional<SheetTail> knownTail(int fd, const std::string& path);

// Learns the tail from the whole file; nullopt when it is not laid out for appending to `sheetName` in
// place (the full path then says what is wrong with it, if anything).
std::optional<SheetTail> learnTail(int fd, const std::string& path, std::string_view sheetName);

// Keeps `tail` for the next append to the file open as `fd`, as the file is now.
void rememberTail(int fd, const std::string& path, SheetTail tail);

// Whether `stream`'s last sheet is `sheetName` laid out for appending in place.
bool isLaidOut(std::span<const std::uint8_t> stream, const BiffLayout& layout, std::string_view sheetName);

} // namespace veltrum::workbook
