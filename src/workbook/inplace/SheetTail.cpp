#include "workbook/inplace/SheetTail.h"

#include "workbook/WorkbookError.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/Refusals.h"
#include "workbook/biff/SharedStrings.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/commit/FileIo.h"
#include "workbook/compound/CompoundFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace veltrum::workbook {

namespace {

std::vector<std::uint8_t> readAll(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > MaxWorkbookBytes)
        throw WorkbookError(path + ": cannot read the workbook: " + std::strerror(errno));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw WorkbookError(path + ": cannot read the workbook: " + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

std::mutex& tailsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, SheetTail>& knownTails() {
    static std::map<std::string, SheetTail> tails;
    return tails;
}

bool sameFile(const struct stat& info, const SheetTail& tail) {
    return info.st_dev == tail.device && info.st_ino == tail.inode && info.st_size == tail.length &&
           info.st_mtim.tv_sec == tail.modified.tv_sec && info.st_mtim.tv_nsec == tail.modified.tv_nsec;
}

// Whether the file still holds what `tail` remembers: the header, the stream's size and its closing
// records where they were.
bool stillHolds(int fd, const SheetTail& tail) {
    const StreamPlace& place = tail.place;
    std::vector<std::uint8_t> header(place.header.size());
    std::vector<std::uint8_t> size(4);
    if (!readAllAt(fd, header.data(), header.size(), 0) || header != place.header ||
        !readAllAt(fd, size.data(), 4, place.sizeFieldOffset()) || get32(size, 0) != place.size)
        return false;
    std::vector<std::uint8_t> closing(tail.closing.size());
    std::size_t done = 0;
    for (std::uint64_t at = tail.closingOffset; done < closing.size();) {
        const std::uint64_t within = at % place.sectorSize;
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(place.sectorSize - within, closing.size() - done));
        const std::uint64_t sector = at / place.sectorSize;
        if (sector >= place.chain.size() ||
            !readAllAt(fd, closing.data() + done, take,
                       place.headerSize + std::uint64_t{place.chain[sector]} * place.sectorSize + within))
            return false;
        done += take;
        at += take;
    }
    return closing == tail.closing;
}

} // namespace

bool isLaidOut(std::span<const std::uint8_t> stream, const BiffLayout& layout, std::string_view sheetName) {
    if (layout.encrypted || layout.sheets.empty())
        return false;
    const SheetInfo& sheet = layout.sheets.back();
    if (sheet.name != sheetName || sheet.kind != WorksheetSubstream ||
        sheet.eof + 1 != layout.records.size() || layout.trailingOffset != stream.size())
        return false;
    for (std::size_t i = sheet.bof + 1; i < sheet.eof; ++i) {
        const RecordRef& ref = layout.records[i];
        if (ref.depth == 1 && (ref.type == record::Index || ref.type == record::DbCell))
            return false;
    }
    return true;
}

std::optional<SheetTail> knownTail(int fd, const std::string& path) {
    std::optional<SheetTail> tail;
    {
        struct stat info {};
        std::lock_guard lock(tailsMutex());
        auto known = knownTails().find(path);
        if (known == knownTails().end())
            return std::nullopt;
        if (::fstat(fd, &info) == 0 && sameFile(info, known->second))
            tail = std::move(known->second);
        knownTails().erase(known);
    }
    if (tail && !stillHolds(fd, *tail))
        tail.reset();
    return tail;
}

std::optional<SheetTail> learnTail(int fd, const std::string& path, std::string_view sheetName) {
    std::vector<std::uint8_t> bytes = readAll(fd, path);
    if (!CompoundFile::hasSignature(bytes))
        return std::nullopt;
    SheetTail tail;
    std::vector<std::uint8_t> stream;
    try {
        const CompoundFile compound(std::move(bytes));
        const std::uint32_t entry = workbookStreamEntry(compound, path);
        if (compound.isInMiniStream(entry) || compound.miniStreamCutoff() != 4096)
            return std::nullopt;
        stream = compound.readStream(entry);
        tail.place = StreamPlace::of(compound, entry);
    } catch (const std::exception&) {
        return std::nullopt; // the full path says what is wrong with it
    }
    std::optional<BiffLayout> parsed;
    try {
        parsed.emplace(BiffLayout::parse(stream, path));
    } catch (const WorkbookError&) {
        return std::nullopt;
    }
    const BiffLayout& layout = *parsed;
    if (!isLaidOut(stream, layout, sheetName))
        return std::nullopt;
    const SheetInfo* sheet = &layout.sheets.back();
    SharedStrings strings;
    try {
        strings = SharedStrings::parse(layout.globals.sharedStrings);
    } catch (const BiffError&) {
        return std::nullopt;
    }
    const SheetScan scan = scanSheet(stream, layout, *sheet, strings);
    if (scan.dimensions == SIZE_MAX || scan.tableEnd == SIZE_MAX || scan.header.empty())
        return std::nullopt;
    // The head runs to the last of the records an append reads: extent, column formats, header cells.
    std::uint32_t headEnd = layout.records[scan.dimensions].end();
    for (std::size_t i = sheet->bof + 1; i < scan.tableEnd; ++i) {
        const RecordRef& ref = layout.records[i];
        CellRef cell;
        if (ref.type == record::ColInfo ||
            (isCellRecord(ref.type) && readCell(stream, ref, cell) && cell.row == 0))
            headEnd = std::max(headEnd, ref.end());
    }
    for (std::size_t i = sheet->bof; i < layout.records.size() && layout.records[i].offset < headEnd; ++i) {
        if (layout.records[i].depth != 1)
            return std::nullopt;
    }
    tail.sheet = sheet->name;
    tail.closingOffset = layout.records[scan.tableEnd].offset;
    tail.head.assign(stream.begin(), stream.begin() + headEnd);
    tail.closing.assign(stream.begin() + tail.closingOffset, stream.end());
    tail.lastCellRow = scan.lastCellRow;
    tail.lastRowXf = scan.lastRowXf;
    tail.rowTemplate = rowTemplateFor(stream, layout, scan);
    return tail;
}

void rememberTail(int fd, const std::string& path, SheetTail tail) {
    struct stat info {};
    std::lock_guard lock(tailsMutex());
    if (::fstat(fd, &info) != 0) {
        knownTails().erase(path);
        return;
    }
    tail.device = info.st_dev;
    tail.inode = info.st_ino;
    tail.length = info.st_size;
    tail.modified = info.st_mtim;
    knownTails()[path] = std::move(tail);
}

} // namespace veltrum::workbook
