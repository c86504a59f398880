#include "workbook/WorkbookReader.h"

#include "workbook/BiffGlobals.h"
#include "workbook/BiffRecords.h"
#include "workbook/CompoundFile.h"
#include "workbook/LittleEndian.h"
#include "workbook/WorksheetReader.h"

#include <cstring>
#include <optional>

namespace veltrum::workbook {

namespace {

constexpr std::uint16_t Biff8Version = 0x0600;
constexpr std::uint16_t GlobalsSubstream = 0x0005;
constexpr std::uint16_t WorksheetSubstream = 0x0010;

const char* const ResaveAdvice =
    "Open it in Excel or LibreOffice and save it as \"Excel 97-2003 Workbook (.xls)\".";

[[noreturn]] void refuse(const std::string& message) {
    throw WorkbookError(message);
}

[[noreturn]] void refuseDamaged(const std::string& file, const std::string& detail,
                                const std::string& sheet = {}) {
    refuse("Workbook '" + file + "' is damaged" + (sheet.empty() ? "" : " in sheet '" + sheet + "'") + " (" +
           detail +
           "). Open it in Excel or LibreOffice to repair it and save it again, or use a backup copy.");
}

[[noreturn]] void refuseOldFormat(const std::string& file) {
    refuse("Workbook '" + file +
           "' is in an old Excel format (Excel 5.0/95 or earlier), which cannot be read. " + ResaveAdvice);
}

[[noreturn]] void refuseNotWorkbook(const std::string& file, const std::string& what) {
    refuse("'" + file + "' is not an Excel 97-2003 workbook (" + what + "). " + ResaveAdvice);
}

[[noreturn]] void refuseEncrypted(const std::string& file) {
    refuse("Workbook '" + file +
           "' is protected with a password (encrypted) and cannot be read. Open it in Excel "
           "or LibreOffice, remove the password to open, and save it again.");
}

void checkNotCompoundFile(const std::vector<std::uint8_t>& bytes, const std::string& file) {
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "PK\x03\x04", 4) == 0)
        refuseNotWorkbook(file, "it is a newer .xlsx or other zipped document");
    if (bytes.size() >= 4) {
        const std::uint16_t type = readU16(bytes.data());
        if (type == RecordType::Bof2 || type == RecordType::Bof3 || type == RecordType::Bof4 ||
            type == RecordType::Bof)
            refuseOldFormat(file);
    }
    refuseNotWorkbook(file, bytes.empty() ? "the file is empty" : "its contents are of another kind");
}

void checkBeginning(std::span<const std::uint8_t> stream, const std::string& file) {
    BiffRecordCursor cursor(stream);
    if (cursor.atEnd())
        refuseDamaged(file, "the workbook stream is empty");
    const BiffRecord bof = cursor.next();
    if (bof.type == RecordType::Bof2 || bof.type == RecordType::Bof3 || bof.type == RecordType::Bof4)
        refuseOldFormat(file);
    if (bof.type != RecordType::Bof || bof.data.size() < 4)
        refuseDamaged(file, "the workbook stream does not begin with a beginning-of-file record");
    const std::uint16_t version = readU16(bof.data.data());
    if (version < Biff8Version)
        refuseOldFormat(file);
    if (version != Biff8Version)
        refuseDamaged(file, "the workbook stream has an unknown version");
    if (readU16(bof.data.data() + 2) != GlobalsSubstream)
        refuseDamaged(file, "the workbook stream does not begin with its workbook-wide part");
}

// Offsets of the top-level substreams after the globals, for sheets whose recorded position is stale.
std::vector<std::size_t> substreamStarts(std::span<const std::uint8_t> stream, std::size_t from) {
    std::vector<std::size_t> starts;
    BiffRecordCursor cursor(stream, from);
    int depth = 0;
    while (!cursor.atEnd()) {
        const BiffRecord record = cursor.next();
        if (record.type == RecordType::Bof && depth++ == 0)
            starts.push_back(record.offset);
        else if (record.type == RecordType::Eof && depth > 0)
            --depth;
    }
    return starts;
}

std::uint16_t substreamType(std::span<const std::uint8_t> stream, std::size_t offset) {
    if (offset > stream.size() || stream.size() - offset < 8 ||
        readU16(stream.data() + offset) != RecordType::Bof)
        return 0;
    return readU16(stream.data() + offset + 6);
}

} // namespace

Workbook WorkbookReader::read(std::vector<std::uint8_t> bytes, const std::string& file) {
    if (!CompoundFile::hasSignature(bytes))
        checkNotCompoundFile(bytes, file);

    Workbook workbook;
    workbook.m_path = file;
    std::optional<CompoundFile> container;
    std::vector<std::uint8_t> copy;
    std::span<const std::uint8_t> stream;
    try {
        container.emplace(std::move(bytes));
        if (container->findStream("EncryptedPackage"))
            refuseEncrypted(file);
        if (container->findStream("User Names") || container->findStream("Revision Log"))
            refuse("Workbook '" + file +
                   "' is a shared workbook, which cannot be read safely. Turn off sharing "
                   "in Excel (Review > Share Workbook) and save it again.");
        const std::optional<std::uint32_t> id = container->findStream("Workbook");
        if (!id) {
            if (container->findStream("Book"))
                refuseOldFormat(file);
            refuseNotWorkbook(file, "it holds no workbook stream");
        }
        if (const auto inPlace = container->streamInPlace(*id)) {
            stream = *inPlace;
        } else {
            copy = container->readStream(*id);
            stream = copy;
        }
    } catch (const CompoundFileError& error) {
        refuseDamaged(file, error.what());
    }

    WorkbookGlobals globals;
    try {
        checkBeginning(stream, file);
        globals = readWorkbookGlobals(stream);
    } catch (const BiffError& error) {
        refuseDamaged(file, error.what());
    }
    if (globals.encrypted)
        refuseEncrypted(file);
    workbook.m_date1904 = globals.date1904;

    std::vector<std::size_t> starts;
    bool startsKnown = false;
    for (std::size_t index = 0; index < globals.sheets.size(); ++index) {
        const BoundSheet& entry = globals.sheets[index];
        std::size_t offset = entry.position;
        if (entry.type == static_cast<std::uint8_t>(SheetType::Worksheet) &&
            substreamType(stream, offset) == 0) {
            try {
                if (!startsKnown)
                    starts = substreamStarts(stream, globals.end);
                startsKnown = true;
            } catch (const BiffError& error) {
                refuseDamaged(file, error.what(), entry.name);
            }
            if (index >= starts.size())
                refuseDamaged(file, "the sheet list points at a sheet that is not there", entry.name);
            offset = starts[index];
        }
        if (entry.type != static_cast<std::uint8_t>(SheetType::Worksheet) ||
            substreamType(stream, offset) != WorksheetSubstream) {
            workbook.m_otherSheetNames.push_back(entry.name);
            continue;
        }
        try {
            WorksheetCells cells = readWorksheetCells(stream, offset, globals);
            Sheet& sheet = workbook.m_sheets.emplace_back();
            sheet.m_name = entry.name;
            sheet.m_columnCount = cells.columnCount;
            sheet.m_cells = std::move(cells.cells);
            sheet.m_rowStarts = std::move(cells.rowStarts);
        } catch (const BiffError& error) {
            refuseDamaged(file, error.what(), entry.name);
        }
    }
    return workbook;
}

} // namespace veltrum::workbook
