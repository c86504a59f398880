#include "workbook/biff/Globals.h"

#include "workbook/biff/NumberFormats.h"
#include "workbook/biff/Strings.h"
#include "workbook/encoding/LittleEndian.h"

namespace veltrum::workbook {

namespace {

BoundSheet readBoundSheet(const BiffRecord& record) {
    if (record.data.size() < 8)
        throw BiffError("a sheet list entry is cut short");
    BoundSheet sheet;
    sheet.position = get32(record.data.data());
    sheet.visibility = record.data[4];
    sheet.type = record.data[5];
    sheet.recordOffset = record.offset;
    sheet.name = readBiffString(record.data, 6, 1);
    return sheet;
}

} // namespace

const std::string* WorkbookGlobals::formatText(std::uint16_t id) const {
    // A later FORMAT record for the same id wins, as in Excel.
    for (auto it = formats.rbegin(); it != formats.rend(); ++it) {
        if (it->id == id)
            return &it->text;
    }
    return nullptr;
}

CellKind WorkbookGlobals::kindOf(const CellFormat& format) const {
    const std::string* text = formatText(format.numberFormat);
    return text ? formatTextKind(*text) : builtInFormatKind(format.numberFormat);
}

WorkbookGlobals readWorkbookGlobals(std::span<const std::uint8_t> stream) {
    WorkbookGlobals globals;
    RecordCursor cursor(stream);
    cursor.next();
    for (;;) {
        if (cursor.atEnd())
            throw BiffError("the workbook-wide records end without an end-of-file record");
        const BiffRecord record = cursor.next();
        const std::span<const std::uint8_t> data = record.data;
        switch (record.type) {
        case record::Eof:
            globals.eofOffset = record.offset;
            globals.end = cursor.position();
            return globals;
        case record::FilePass:
            globals.encrypted = true;
            return globals;
        case record::DateMode:
            if (data.size() >= 2)
                globals.date1904 = get16(data.data()) == 1;
            break;
        case record::CodePage:
            if (data.size() >= 2)
                globals.codePage = get16(data.data());
            break;
        case record::Format: {
            if (data.size() < 2)
                throw BiffError("a number format record is cut short");
            std::vector<std::span<const std::uint8_t>> pieces{data};
            cursor.takeContinues(pieces);
            PieceReader reader(pieces, 2);
            globals.formats.push_back({get16(data.data()), readBiffString(reader)});
            break;
        }
        case record::Xf:
            if (data.size() < 4)
                throw BiffError("a cell style record is cut short");
            globals.cellFormats.push_back({get16(data.data() + 2),
                                           data.size() >= 6 && (get16(data.data() + 4) & 0x0004) != 0,
                                           record.offset});
            break;
        case record::BoundSheet:
            globals.sheets.push_back(readBoundSheet(record));
            break;
        case record::Sst:
            globals.sharedStrings = {record};
            cursor.takeContinues(globals.sharedStrings);
            break;
        case record::ExtSst:
            globals.extSstOffset = record.offset;
            break;
        default:
            break;
        }
    }
}

} // namespace veltrum::workbook
