// Appends rows to arbitrary bytes, then re-reads the result: an append either refuses with a
// WorkbookError or yields a workbook that the reader reads (with the new row) and the structure check
// accepts whenever it accepted the input.
#include "workbook/Appender.h"
#include "workbook/Workbook.h"
#include "workbook/append/StructureCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrum::workbook;
    if (size < 1)
        return 0;
    // The first byte picks how many rows to append; the rest is the file.
    const int rowCount = 1 + data[0] % 40;
    const std::vector<std::uint8_t> bytes(data + 1, data + size);

    std::string sheetName = "Sheet1";
    std::vector<std::string> headers = {"a"};
    int oldRows = -1;
    try {
        const Workbook workbook = Workbook::fromBytes(bytes, "fuzz.xls");
        for (const Sheet& sheet : workbook.sheets()) {
            std::vector<std::string> names;
            for (int column = 0; column < sheet.columnCount() && names.size() < 4; ++column) {
                if (sheet.cell(0, column).kind == CellKind::Text && !sheet.cell(0, column).text.empty())
                    names.push_back(sheet.cell(0, column).text);
            }
            if (!names.empty()) {
                sheetName = sheet.name();
                headers = names;
                oldRows = sheet.rowCount();
                break;
            }
        }
    } catch (const WorkbookError&) {
    }

    std::vector<AppendRow> rows;
    for (int r = 0; r < rowCount; ++r) {
        AppendRow row;
        for (std::size_t c = 0; c < headers.size(); ++c) {
            switch ((r + c) % 4) {
            case 0:
                row.push_back({headers[c], AppendValue::fromText("fuzz " + std::to_string(r))});
                break;
            case 1:
                row.push_back({headers[c], AppendValue::fromNumber(r)});
                break;
            case 2:
                row.push_back({headers[c], AppendValue::fromDate(2026, 12, 8)});
                break;
            default:
                row.push_back({headers[c], AppendValue::fromTime(13, 45, 0)});
                break;
            }
        }
        rows.push_back(row);
    }

    std::vector<std::uint8_t> appended;
    try {
        appended = appendRecordsToBytes(bytes, "fuzz.xls", sheetName, rows);
    } catch (const WorkbookError&) {
        return 0;
    }
    if (oldRows < 0)
        return 0; // appended to something our reader refuses; nothing to compare against
    if (checkWorkbookStructure(bytes).empty() && !checkWorkbookStructure(appended).empty())
        std::abort();
    try {
        const Workbook after = Workbook::fromBytes(appended, "appended.xls");
        if (after.sheet(sheetName).rowCount() != oldRows + rowCount)
            std::abort();
    } catch (const WorkbookError&) {
        std::abort();
    }
    return 0;
}
