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

bool appendRowsInPlace(const std::string& path, std::string_view sheetName,
                       const std::vector<AppendRow>& rows) {
    const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    std::vector<std::uint8_t> bytes = readAll(fd.get(), path);
    if (!CompoundFile::hasSignature(bytes))
        return false;
    const std::uint64_t length = bytes.size();
    std::optional<CompoundFile> compound;
    std::uint32_t entry = 0;
    std::vector<std::uint8_t> stream;
    try {
        compound.emplace(std::move(bytes));
        entry = workbookStreamEntry(*compound, path);
        if (compound->isInMiniStream(entry) || compound->miniStreamCutoff() != 4096)
            return false;
        stream = compound->readStream(entry);
    } catch (const std::exception&) {
        return false; // the full path says what is wrong with it
    }
    std::optional<BiffLayout> parsed;
    try {
        parsed.emplace(BiffLayout::parse(stream, path));
    } catch (const WorkbookError&) {
        return false;
    }
    const BiffLayout& layout = *parsed;
    const SheetInfo* sheet = laidOutSheet(stream, layout, sheetName);
    if (!sheet)
        return false;
    SharedStrings strings;
    try {
        strings = SharedStrings::parse(layout.globals.sharedStrings);
    } catch (const BiffError&) {
        return false;
    }
    const std::uint32_t knownStrings = strings.uniqueCount();
    const SheetScan scan = scanSheet(stream, layout, *sheet, strings);
    if (scan.dimensions == SIZE_MAX || layout.records[scan.dimensions].size < 14 || scan.tableEnd == SIZE_MAX)
        return false;
    const CellFormats formats(stream, layout);
    const PreparedAppend plan = prepareRows(rows, scan, formats, strings, layout.date1904, path, sheet->name);
    if (plan.rows.empty())
        return true;
    if (!plan.newFormats.empty())
        return false;

    const RowTemplate rowTemplate = rowTemplateFor(stream, layout, scan);
    std::vector<std::uint8_t> cells;
    std::uint32_t sharedReferences = 0;
    for (const NewRow& row : plan.rows) {
        emit(cells, record::Row, 16);
        append16(cells, static_cast<std::uint16_t>(row.row));
        append16(cells, row.cells.front().column);
        append16(cells, static_cast<std::uint16_t>(row.cells.back().column + 1));
        cells.insert(cells.end(), rowTemplate.begin(), rowTemplate.end());
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
    const std::uint32_t closing = layout.records[scan.tableEnd].offset;
    cells.insert(cells.end(), stream.begin() + closing, stream.end());
    StreamGrowth growth(*compound, entry);
    growth.write(closing, cells);
    const RecordRef& dimensions = layout.records[scan.dimensions];
    growth.write(dimensions.body(), widenedDimensions(stream, dimensions, plan));
    if (sharedReferences > 0 && !layout.sst.empty()) {
        // The table's count of cells that refer to it.
        const RecordRef& sst = layout.records[layout.sst.front()];
        std::vector<std::uint8_t> total;
        append32(total, get32(stream, sst.body()) + sharedReferences);
        growth.write(sst.body(), total);
    }
    const std::optional<std::vector<FilePatch>> patches = growth.finish();
    if (!patches)
        return false;
    patchFileDurably(path, fd.get(), length, *patches);
    return true;
}

} // namespace veltrum::workbook
