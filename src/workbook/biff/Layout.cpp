#include "workbook/biff/Layout.h"

#include "workbook/biff/Refusals.h"

#include <algorithm>
#include <cstring>

namespace veltrum::workbook {

bool readCell(std::span<const std::uint8_t> stream, const RecordRef& ref, CellRef& cell) {
    if (ref.size < 6)
        return false;
    const std::optional<CellPlace> place = cellPlace(ref.type, stream.subspan(ref.body(), ref.size));
    if (!place)
        return false;
    if (ref.type == record::MulRk || ref.type == record::MulBlank) {
        // The last column it states must be the last of the entries it holds.
        const std::size_t entry = ref.type == record::MulRk ? 6 : 2;
        if ((ref.size - 6) % entry != 0 || get16(stream, ref.end() - 2) != place->lastColumn)
            return false;
    }
    cell.row = place->row;
    cell.firstColumn = place->firstColumn;
    cell.lastColumn = static_cast<std::uint16_t>(place->lastColumn);
    cell.xf = get16(stream, ref.body() + 4);
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

std::size_t BiffLayout::recordAt(std::uint32_t offset) const {
    auto it = std::lower_bound(records.begin(), records.end(), offset,
                               [](const RecordRef& r, std::uint32_t o) { return r.offset < o; });
    if (it == records.end() || it->offset != offset)
        return SIZE_MAX;
    return static_cast<std::size_t>(it - records.begin());
}

BiffLayout BiffLayout::parse(std::span<const std::uint8_t> stream, const std::string& name) {
    checkStreamBeginning(stream, name);
    BiffLayout layout;
    layout.trailingOffset = static_cast<std::uint32_t>(stream.size());
    try {
        SubstreamCursor cursor(stream);
        while (!cursor.atEnd()) {
            // Past the last substream come only padding bytes, whatever they hold.
            if (cursor.open() == 0 && cursor.peekType() != record::Bof) {
                layout.trailingOffset = static_cast<std::uint32_t>(cursor.position());
                break;
            }
            const BiffRecord record = cursor.next();
            layout.records.push_back({record.type, static_cast<std::uint32_t>(record.offset),
                                      static_cast<std::uint32_t>(record.data.size()), cursor.depth()});
        }
        if (cursor.atEnd() && cursor.open() == 0)
            layout.trailingOffset = static_cast<std::uint32_t>(cursor.position());
        if (cursor.open() != 0)
            refuseDamaged(name, "the workbook stream ends inside a sheet");
        layout.globals = readWorkbookGlobals(stream);
    } catch (const BiffError& error) {
        refuseDamaged(name, error.what());
    }
    const WorkbookGlobals& globals = layout.globals;
    layout.encrypted = globals.encrypted;
    layout.date1904 = globals.date1904;
    if (layout.encrypted)
        return layout;
    const auto indexOf = [&layout](std::size_t offset) {
        return layout.recordAt(static_cast<std::uint32_t>(offset));
    };
    layout.globalsEof = indexOf(globals.eofOffset);
    for (const BoundSheet& sheet : globals.sheets)
        layout.sheets.push_back({sheet.name, indexOf(sheet.recordOffset)});
    for (const BiffRecord& record : globals.sharedStrings)
        layout.sst.push_back(indexOf(record.offset));
    if (globals.extSstOffset)
        layout.extSst = indexOf(*globals.extSstOffset);
    for (const CellFormat& format : globals.cellFormats)
        layout.xfs.push_back(indexOf(format.recordOffset));

    for (SheetInfo& sheet : layout.sheets) {
        const std::uint32_t position = get32(stream, layout.records[sheet.boundSheet].body());
        sheet.bof = layout.recordAt(position);
        if (sheet.bof == SIZE_MAX || sheet.bof <= layout.globalsEof ||
            layout.records[sheet.bof].type != record::Bof || layout.records[sheet.bof].depth != 1)
            refuseDamaged(name, "the sheet list points at a sheet that is not there", sheet.name);
        for (const SheetInfo& other : layout.sheets) {
            if (&other != &sheet && other.bof == sheet.bof)
                refuseDamaged(name, "two sheets claim the same position");
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
