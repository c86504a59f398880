#include "workbook/inplace/InPlaceAppend.h"

#include "workbook/Workbook.h"
#include "workbook/append/AppendRows.h"
#include "workbook/append/CellFormats.h"
#include "workbook/append/RowBlocks.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/Refusals.h"
#include "workbook/biff/SharedStrings.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/encoding/Unicode.h"
#include "workbook/inplace/FilePatch.h"
#include "workbook/inplace/StreamGrowth.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::workbook {

namespace {

constexpr std::size_t kMaxLabelLength = 255;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

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

// The sheet the rows go to, when the stream is laid out for appending to it in place.
const SheetInfo* laidOutSheet(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                              std::string_view sheetName) {
    if (layout.encrypted || layout.sheets.empty())
        return nullptr;
    const SheetInfo& sheet = layout.sheets.back();
    if (sheet.name != sheetName || sheet.kind != WorksheetSubstream ||
        sheet.eof + 1 != layout.records.size() || layout.trailingOffset != stream.size())
        return nullptr;
    for (std::size_t i = sheet.bof + 1; i < sheet.eof; ++i) {
        const RecordRef& ref = layout.records[i];
        if (ref.depth == 1 && (ref.type == record::Index || ref.type == record::DbCell))
            return nullptr;
    }
    return &sheet;
}

void emit(std::vector<std::uint8_t>& out, std::uint16_t type, std::uint16_t size) {
    append16(out, type);
    append16(out, size);
}

void cellHead(std::vector<std::uint8_t>& out, std::uint16_t type, std::uint16_t size, int row,
              const NewCell& cell) {
    emit(out, type, size);
    append16(out, static_cast<std::uint16_t>(row));
    append16(out, cell.column);
    append16(out, cell.xf);
}

// An inline text cell: one byte per character when every character fits, else UTF-16.
void emitLabel(std::vector<std::uint8_t>& out, int row, const NewCell& cell, const std::u16string& text) {
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    const auto size = static_cast<std::uint16_t>(9 + text.size() * (wide ? 2 : 1));
    cellHead(out, record::Label, size, row, cell);
    append16(out, static_cast<std::uint16_t>(text.size()));
    out.push_back(wide ? 1 : 0);
    for (const char16_t c : text) {
        if (wide)
            append16(out, static_cast<std::uint16_t>(c));
        else
            out.push_back(static_cast<std::uint8_t>(c));
    }
}

// What an in-place append needs to know of a laid-out workbook, kept from one append to the next so
// that an append reads and parses only a few kilobytes, however many rows the sheet holds: the stream's
// beginning (globals and the sheet's records up to its header row), its closing records and where they
// start, the last row's number and formats, and where the stream lies in the file.
struct SheetTail {
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

bool readAt(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// Whether the file still holds what `tail` remembers: the header, the stream's size and its closing
// records where they were.
bool stillHolds(int fd, const SheetTail& tail) {
    const StreamPlace& place = tail.place;
    std::vector<std::uint8_t> header(place.header.size());
    std::vector<std::uint8_t> size(4);
    if (!readAt(fd, header.data(), header.size(), 0) || header != place.header ||
        !readAt(fd, size.data(), 4, place.sizeFieldOffset()) || get32(size, 0) != place.size)
        return false;
    std::vector<std::uint8_t> closing(tail.closing.size());
    std::size_t done = 0;
    for (std::uint64_t at = tail.closingOffset; done < closing.size();) {
        const std::uint64_t within = at % place.sectorSize;
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(place.sectorSize - within, closing.size() - done));
        const std::uint64_t sector = at / place.sectorSize;
        if (sector >= place.chain.size() ||
            !readAt(fd, closing.data() + done, take,
                    place.headerSize + std::uint64_t{place.chain[sector]} * place.sectorSize + within))
            return false;
        done += take;
        at += take;
    }
    return closing == tail.closing;
}

// Learns a laid-out workbook's tail from the whole file; nullopt when it is not laid out for appending
// to `sheetName` in place.
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
    const SheetInfo* sheet = laidOutSheet(stream, layout, sheetName);
    if (!sheet)
        return std::nullopt;
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
    tail.closingOffset = layout.records[scan.tableEnd].offset;
    tail.head.assign(stream.begin(), stream.begin() + headEnd);
    tail.closing.assign(stream.begin() + tail.closingOffset, stream.end());
    tail.lastCellRow = scan.lastCellRow;
    tail.lastRowXf = scan.lastRowXf;
    tail.rowTemplate = rowTemplateFor(stream, layout, scan);
    return tail;
}

} // namespace

std::vector<std::uint8_t> layOutForAppending(std::vector<std::uint8_t> stream, const std::string& file,
                                             std::string_view sheetName) {
    const BiffLayout layout = BiffLayout::parse(stream, file);
    if (layout.encrypted || layout.sheets.empty())
        return stream;
    const SheetInfo& sheet = layout.sheets.back();
    if (sheet.name != sheetName || sheet.kind != WorksheetSubstream || sheet.eof + 1 != layout.records.size())
        return stream;
    std::vector<std::uint8_t> out(stream.begin(), stream.begin() + layout.records[sheet.bof].offset);
    for (std::size_t i = sheet.bof; i <= sheet.eof; ++i) {
        const RecordRef& ref = layout.records[i];
        if (ref.depth == 1 && (ref.type == record::Index || ref.type == record::DbCell))
            continue;
        out.insert(out.end(), stream.begin() + ref.offset, stream.begin() + ref.end());
    }
    return out;
}

namespace {

// The append itself, on the stream's head and closing records alone (a short stream that reads as the
// sheet with its header row only), for the tail's real place in the file. Updates `tail` to the file
// as it is left; false when this append cannot be made in place.
bool appendWithTail(int fd, const std::string& path, SheetTail& tail, const std::vector<AppendRow>& rows) {
    std::vector<std::uint8_t> shortStream = tail.head;
    shortStream.insert(shortStream.end(), tail.closing.begin(), tail.closing.end());
    const BiffLayout layout = BiffLayout::parse(shortStream, path);
    const SheetInfo& sheet = layout.sheets.back();
    SharedStrings strings = SharedStrings::parse(layout.globals.sharedStrings);
    const std::uint32_t knownStrings = strings.uniqueCount();
    SheetScan scan = scanSheet(shortStream, layout, sheet, strings);
    if (scan.dimensions == SIZE_MAX || layout.records[scan.dimensions].size < 14)
        return false;
    scan.lastCellRow = tail.lastCellRow;
    scan.lastRowXf = tail.lastRowXf;
    const CellFormats formats(shortStream, layout);
    const PreparedAppend plan = prepareRows(rows, scan, formats, strings, layout.date1904, path, sheet.name);
    if (plan.rows.empty())
        return true;
    if (!plan.newFormats.empty())
        return false;

    std::vector<std::uint8_t> cells;
    std::uint32_t sharedReferences = 0;
    for (const NewRow& row : plan.rows) {
        emit(cells, record::Row, 16);
        append16(cells, static_cast<std::uint16_t>(row.row));
        append16(cells, row.cells.front().column);
        append16(cells, static_cast<std::uint16_t>(row.cells.back().column + 1));
        cells.insert(cells.end(), tail.rowTemplate.begin(), tail.rowTemplate.end());
        for (const NewCell& cell : row.cells) {
            if (!cell.isText) {
                cellHead(cells, record::Number, 14, row.row, cell);
                std::uint64_t bits = 0;
                std::memcpy(&bits, &cell.number, 8);
                append32(cells, static_cast<std::uint32_t>(bits));
                append32(cells, static_cast<std::uint32_t>(bits >> 32));
            } else if (cell.sst < knownStrings) {
                cellHead(cells, record::LabelSst, 10, row.row, cell);
                append32(cells, cell.sst);
                ++sharedReferences;
            } else {
                const std::u16string text = utf16FromUtf8(strings.text(cell.sst));
                if (text.empty() || text.size() > kMaxLabelLength)
                    return false;
                emitLabel(cells, row.row, cell, text);
            }
        }
    }

    // The new cells where the sheet's closing records (WINDOW2 ... EOF) began, and those after them.
    const std::uint32_t newCells = static_cast<std::uint32_t>(cells.size());
    cells.insert(cells.end(), tail.closing.begin(), tail.closing.end());
    StreamGrowth growth(tail.place);
    growth.write(tail.closingOffset, cells);
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> headEdits;
    const RecordRef& dimensions = layout.records[scan.dimensions];
    headEdits.emplace_back(dimensions.body(), widenedDimensions(shortStream, dimensions, plan));
    if (sharedReferences > 0 && !layout.sst.empty()) {
        // The table's count of cells that refer to it.
        const RecordRef& sst = layout.records[layout.sst.front()];
        std::vector<std::uint8_t> total;
        append32(total, get32(shortStream, sst.body()) + sharedReferences);
        headEdits.emplace_back(sst.body(), total);
    }
    for (const auto& [offset, bytes] : headEdits)
        growth.write(offset, bytes);
    StreamPlace grown;
    const std::optional<std::vector<FilePatch>> patches = growth.finish(grown);
    if (!patches)
        return false;
    patchFileDurably(path, fd, tail.place.fileLength, *patches);

    for (const auto& [offset, bytes] : headEdits)
        std::copy(bytes.begin(), bytes.end(), tail.head.begin() + offset);
    tail.place = std::move(grown);
    tail.closingOffset += newCells;
    tail.lastCellRow = plan.rows.back().row;
    tail.lastRowXf.clear();
    for (const NewCell& cell : plan.rows.back().cells)
        tail.lastRowXf[cell.column] = cell.xf;
    return true;
}

void remember(int fd, const std::string& path, SheetTail tail) {
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

} // namespace

bool appendRowsInPlace(const std::string& path, std::string_view sheetName,
                       const std::vector<AppendRow>& rows) {
    const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    std::optional<SheetTail> tail;
    {
        struct stat info {};
        std::lock_guard lock(tailsMutex());
        auto known = knownTails().find(path);
        if (known != knownTails().end()) {
            if (::fstat(fd.get(), &info) == 0 && sameFile(info, known->second))
                tail = known->second;
            knownTails().erase(known);
        }
    }
    if (tail && !stillHolds(fd.get(), *tail))
        tail.reset();
    if (!tail)
        tail = learnTail(fd.get(), path, sheetName);
    if (!tail)
        return false;
    if (!appendWithTail(fd.get(), path, *tail, rows))
        return false;
    remember(fd.get(), path, std::move(*tail));
    return true;
}

} // namespace veltrum::workbook
