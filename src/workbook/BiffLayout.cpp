#include "workbook/BiffLayout.h"

#include "workbook/Unicode.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <cstring>

namespace veltrum::workbook {

std::string decodeCharacters(std::span<const std::uint8_t> bytes, std::size_t count, bool highByte) {
    std::string out;
    if (!highByte) {
        for (std::size_t i = 0; i < count; ++i)
            appendCodePoint(bytes[i], out);
        return out;
    }
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        units[i] = static_cast<char16_t>(get16(bytes, 2 * i));
    appendUtf8(units, out);
    return out;
}

bool isCellRecord(std::uint16_t type) {
    switch (type) {
    case record::Blank:
    case record::Number:
    case record::Label:
    case record::BoolErr:
    case record::Formula:
    case record::Rk:
    case record::LabelSst:
    case record::RString:
    case record::MulRk:
    case record::MulBlank:
        return true;
    default:
        return false;
    }
}

bool readCell(std::span<const std::uint8_t> stream, const RecordRef& ref, CellRef& cell) {
    if (!isCellRecord(ref.type) || ref.size < 6)
        return false;
    const std::size_t at = ref.body();
    cell.row = get16(stream, at);
    cell.firstColumn = get16(stream, at + 2);
    cell.xf = get16(stream, at + 4);
    cell.lastColumn = cell.firstColumn;
    if (ref.type == record::MulRk || ref.type == record::MulBlank) {
        const std::uint16_t last = get16(stream, ref.end() - 2);
        const std::size_t per = ref.type == record::MulRk ? 6 : 2;
        if (last < cell.firstColumn || ref.size != 6 + per * (last - cell.firstColumn + 1u))
            return false;
        cell.lastColumn = last;
    }
    return true;
}

std::uint16_t cellXf(std::span<const std::uint8_t> stream, const RecordRef& ref, std::uint16_t column) {
    const std::uint16_t first = get16(stream, ref.body() + 2);
    if (ref.type == record::MulRk)
        return get16(stream, ref.body() + 4 + 6 * (column - first));
    if (ref.type == record::MulBlank)
        return get16(stream, ref.body() + 4 + 2 * (column - first));
    return get16(stream, ref.body() + 4);
}

namespace {

[[noreturn]] void damaged(const std::string& name, const std::string& what) {
    throw WorkbookError(name + ": the workbook is damaged (" + what + ")");
}

std::string shortString(std::span<const std::uint8_t> stream, std::size_t at, std::size_t end) {
    if (at + 2 > end)
        return {};
    const std::size_t count = stream[at];
    const bool high = stream[at + 1] & 1;
    if (at + 2 + count * (high ? 2 : 1) > end)
        return {};
    return decodeCharacters(stream.subspan(at + 2), count, high);
}

} // namespace

std::size_t BiffLayout::recordAt(std::uint32_t offset) const {
    auto it = std::lower_bound(records.begin(), records.end(), offset,
                               [](const RecordRef& r, std::uint32_t o) { return r.offset < o; });
    if (it == records.end() || it->offset != offset)
        return SIZE_MAX;
    return static_cast<std::size_t>(it - records.begin());
}

BiffLayout BiffLayout::parse(std::span<const std::uint8_t> stream, const std::string& name) {
    BiffLayout layout;
    std::uint32_t offset = 0;
    int depth = 0;
    layout.trailingOffset = static_cast<std::uint32_t>(stream.size());
    while (offset + 4 <= stream.size()) {
        RecordRef ref{get16(stream, offset), offset, get16(stream, offset + 2), depth};
        if (depth == 0 && ref.type != record::Bof) {
            layout.trailingOffset = offset;
            break;
        }
        if (ref.end() > stream.size())
            damaged(name, "a record runs past the end of the workbook stream");
        if (ref.type == record::Bof)
            ref.depth = ++depth;
        else if (ref.type == record::Eof)
            --depth;
        layout.records.push_back(ref);
        offset = ref.end();
    }
    if (offset + 4 > stream.size() && offset < stream.size() && depth == 0)
        layout.trailingOffset = offset;
    if (layout.records.empty())
        damaged(name, "the workbook stream is empty");
    if (depth != 0)
        damaged(name, "the workbook stream ends inside a sheet");
    const RecordRef& first = layout.records.front();
    if (first.size < 4 || get16(stream, first.body()) != 0x0600)
        throw WorkbookError(name + ": the workbook is in a format older than Excel 97 (BIFF5 or earlier); "
                                   "save it as Excel 97-2003 first");
    if (get16(stream, first.body() + 2) != 0x0005)
        damaged(name, "the workbook stream does not start with the workbook globals");

    std::size_t i = 1;
    for (; i < layout.records.size(); ++i) {
        const RecordRef& ref = layout.records[i];
        if (ref.depth != 1)
            continue;
        if (ref.type == record::Eof)
            break;
        switch (ref.type) {
        case record::FilePass:
            layout.encrypted = true;
            break;
        case record::DateMode:
            layout.date1904 = ref.size >= 2 && get16(stream, ref.body()) != 0;
            break;
        case record::BoundSheet:
            if (ref.size < 8)
                damaged(name, "a sheet entry is too short");
            layout.sheets.push_back({shortString(stream, ref.body() + 6, ref.end()), i});
            break;
        case record::Sst:
            layout.sst.push_back(i);
            while (i + 1 < layout.records.size() && layout.records[i + 1].type == record::Continue)
                layout.sst.push_back(++i);
            break;
        case record::ExtSst:
            layout.extSst = i;
            break;
        case record::Xf:
            layout.xfs.push_back(i);
            break;
        case record::Format:
            if (ref.size >= 5) {
                const std::size_t count = get16(stream, ref.body() + 2);
                const bool high = stream[ref.body() + 4] & 1;
                if (5 + count * (high ? 2 : 1) <= ref.size)
                    layout.formats.emplace_back(
                        get16(stream, ref.body()),
                        decodeCharacters(stream.subspan(ref.body() + 5), count, high));
            }
            break;
        default:
            break;
        }
    }
    layout.globalsEof = i;
    if (i >= layout.records.size())
        damaged(name, "the workbook globals have no end");
    if (layout.encrypted)
        return layout;
    for (SheetInfo& sheet : layout.sheets) {
        const std::uint32_t position = get32(stream, layout.records[sheet.boundSheet].body());
        sheet.bof = layout.recordAt(position);
        if (sheet.bof == SIZE_MAX || sheet.bof <= layout.globalsEof ||
            layout.records[sheet.bof].type != record::Bof || layout.records[sheet.bof].depth != 1)
            damaged(name, "the position of sheet \"" + sheet.name + "\" does not point at its start");
        for (const SheetInfo& other : layout.sheets) {
            if (&other != &sheet && other.bof == sheet.bof)
                damaged(name, "two sheets claim the same position");
        }
        const RecordRef& bof = layout.records[sheet.bof];
        sheet.kind = bof.size >= 4 ? get16(stream, bof.body() + 2) : 0;
        std::size_t k = sheet.bof + 1;
        while (k < layout.records.size() &&
               !(layout.records[k].depth == 1 && layout.records[k].type == record::Eof))
            ++k;
        sheet.eof = k;
    }
    return layout;
}

} // namespace veltrum::workbook
