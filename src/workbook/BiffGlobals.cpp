#include "workbook/BiffGlobals.h"

#include "workbook/BiffRecords.h"
#include "workbook/BiffStrings.h"
#include "workbook/LittleEndian.h"
#include "workbook/NumberFormats.h"

#include <map>

namespace veltrum::workbook {

namespace {

void readSharedStrings(const BiffRecord& sst, BiffRecordCursor& cursor, std::vector<std::string>& strings) {
    std::vector<std::span<const std::uint8_t>> pieces{sst.data};
    cursor.takeContinues(pieces);
    if (sst.data.size() < 8)
        throw BiffError("the shared text table is cut short");
    const std::uint32_t unique = readU32(sst.data.data() + 4);
    std::size_t totalBytes = 0;
    for (const auto& piece : pieces)
        totalBytes += piece.size();
    // Each string takes at least three bytes, which bounds what a lying count can reserve.
    strings.reserve(std::min<std::size_t>(unique, totalBytes / 3));
    PieceReader reader(pieces, 8);
    // Some writers state more strings than they store; those that are there are kept.
    for (std::uint32_t i = 0; i < unique && !reader.atEnd(); ++i)
        strings.push_back(readBiffString(reader));
}

BoundSheet readBoundSheet(const BiffRecord& record) {
    if (record.data.size() < 8)
        throw BiffError("a sheet list entry is cut short");
    BoundSheet sheet;
    sheet.position = readU32(record.data.data());
    sheet.visibility = record.data[4];
    sheet.type = record.data[5];
    const std::span<const std::uint8_t> piece = record.data.subspan(6);
    PieceReader reader(std::span(&piece, 1));
    sheet.name = readBiffString(reader, 1);
    return sheet;
}

} // namespace

WorkbookGlobals readWorkbookGlobals(std::span<const std::uint8_t> stream) {
    WorkbookGlobals globals;
    std::map<std::uint16_t, CellKind> formats;
    std::vector<std::uint16_t> styleFormats;
    BiffRecordCursor cursor(stream);
    cursor.next();
    bool finished = false;
    while (!finished) {
        if (cursor.atEnd())
            throw BiffError("the workbook-wide records end without an end-of-file record");
        const BiffRecord record = cursor.next();
        const std::span<const std::uint8_t> data = record.data;
        switch (record.type) {
        case RecordType::Eof:
            finished = true;
            break;
        case RecordType::FilePass:
            globals.encrypted = true;
            return globals;
        case RecordType::DateMode:
            if (data.size() >= 2)
                globals.date1904 = readU16(data.data()) == 1;
            break;
        case RecordType::CodePage:
            if (data.size() >= 2)
                globals.codePage = readU16(data.data());
            break;
        case RecordType::Format: {
            if (data.size() < 2)
                throw BiffError("a number format record is cut short");
            std::vector<std::span<const std::uint8_t>> pieces{data};
            cursor.takeContinues(pieces);
            PieceReader reader(pieces, 2);
            formats[readU16(data.data())] = formatTextKind(readBiffString(reader));
            break;
        }
        case RecordType::Xf:
            if (data.size() < 4)
                throw BiffError("a cell style record is cut short");
            styleFormats.push_back(readU16(data.data() + 2));
            break;
        case RecordType::BoundSheet:
            globals.sheets.push_back(readBoundSheet(record));
            break;
        case RecordType::Sst:
            readSharedStrings(record, cursor, globals.sharedStrings);
            break;
        default:
            break;
        }
    }
    globals.end = cursor.position();
    globals.styleKinds.reserve(styleFormats.size());
    for (std::uint16_t format : styleFormats) {
        const auto found = formats.find(format);
        globals.styleKinds.push_back(found != formats.end() ? found->second : builtInFormatKind(format));
    }
    return globals;
}

} // namespace veltrum::workbook
