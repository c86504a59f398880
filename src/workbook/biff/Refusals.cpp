#include "workbook/biff/Refusals.h"

#include "workbook/WorkbookError.h"
#include "workbook/biff/Records.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/encoding/LittleEndian.h"

namespace veltrum::workbook {

namespace {

const char* const ResaveAdvice =
    "Open it in Excel or LibreOffice and save it as \"Excel 97-2003 Workbook (.xls)\".";

std::string quotedList(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        if (!name.empty())
            out += (out.empty() ? "'" : ", '") + name + "'";
    }
    return out.empty() ? "none" : out;
}

} // namespace

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

void refuseDamaged(const std::string& file, const std::string& detail, const std::string& sheet) {
    throw WorkbookError(
        "Workbook '" + file + "' is damaged" + (sheet.empty() ? "" : " in sheet '" + sheet + "'") + " (" +
        detail + "). Open it in Excel or LibreOffice to repair it and save it again, or use a backup copy.");
}

void refuseOldFormat(const std::string& file) {
    throw WorkbookError("Workbook '" + file +
                        "' is in an old Excel format (Excel 5.0/95 or earlier), which cannot be read. " +
                        ResaveAdvice);
}

void refuseNotWorkbook(const std::string& file, const std::string& what) {
    throw WorkbookError("'" + file + "' is not an Excel 97-2003 workbook (" + what + "). " + ResaveAdvice);
}

void refuseEncrypted(const std::string& file) {
    throw WorkbookError("Workbook '" + file +
                        "' is protected with a password (encrypted) and cannot be read. Open it in Excel "
                        "or LibreOffice, remove the password to open, and save it again.");
}

void refuseNoSuchSheet(const std::string& file, std::string_view sheet,
                       const std::vector<std::string>& sheets) {
    throw WorkbookError("Workbook '" + file + "' has no sheet named '" + std::string(sheet) +
                        "' (its sheets: " + quotedList(sheets) + "). Check the sheet name in the workbook.");
}

void refuseNotWorksheet(const std::string& file, std::string_view sheet) {
    throw WorkbookError("Workbook '" + file + "': sheet '" + std::string(sheet) +
                        "' is a chart or macro sheet, not a worksheet. Keep the data on a worksheet.");
}

void refuseNoSuchColumn(const std::string& file, const std::string& sheet, std::string_view column,
                        const std::vector<std::string>& headers) {
    throw WorkbookError("Workbook '" + file + "', sheet '" + sheet + "' has no column '" +
                        std::string(column) + "' in its first row (columns: " + quotedList(headers) +
                        "). Check the heading in the workbook.");
}

void refuseNonCompoundFile(std::span<const std::uint8_t> bytes, const std::string& file) {
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == 'K')
        refuseNotWorkbook(file, "it is a newer .xlsx or other zipped document");
    if (bytes.size() >= 4) {
        const std::uint16_t type = get16(bytes.data());
        if (type == record::Bof2 || type == record::Bof3 || type == record::Bof4 || type == record::Bof)
            refuseOldFormat(file);
    }
    refuseNotWorkbook(file, bytes.empty() ? "the file is empty" : "its contents are of another kind");
}

std::uint32_t workbookStreamEntry(const CompoundFile& compound, const std::string& file) {
    if (compound.findStream("EncryptedPackage"))
        refuseEncrypted(file);
    if (compound.findStream("User Names") || compound.findStream("Revision Log"))
        throw WorkbookError(
            "Workbook '" + file +
            "' is a shared workbook, which cannot be read or changed safely. Turn off sharing "
            "in Excel (Review > Share Workbook) and save it again.");
    const std::optional<std::uint32_t> id = compound.findStream("Workbook");
    if (!id) {
        if (compound.findStream("Book"))
            refuseOldFormat(file);
        refuseNotWorkbook(file, "it holds no workbook stream");
    }
    return *id;
}

void checkStreamBeginning(std::span<const std::uint8_t> stream, const std::string& file) {
    RecordCursor cursor(stream);
    if (cursor.atEnd())
        refuseDamaged(file, "the workbook stream is empty");
    BiffRecord bof;
    try {
        bof = cursor.next();
    } catch (const BiffError& error) {
        refuseDamaged(file, error.what());
    }
    if (bof.type == record::Bof2 || bof.type == record::Bof3 || bof.type == record::Bof4)
        refuseOldFormat(file);
    if (bof.type != record::Bof || bof.data.size() < 4)
        refuseDamaged(file, "the workbook stream does not begin with a beginning-of-file record");
    const std::uint16_t version = get16(bof.data.data());
    if (version < Biff8Version)
        refuseOldFormat(file);
    if (version != Biff8Version)
        refuseDamaged(file, "the workbook stream has an unknown version");
    if (get16(bof.data.data() + 2) != GlobalsSubstream)
        refuseDamaged(file, "the workbook stream does not begin with its workbook-wide part");
}

} // namespace veltrum::workbook
