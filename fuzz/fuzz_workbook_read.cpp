// Feeds arbitrary bytes to the workbook reader: it must refuse or read them, never crash, hang or
// read out of bounds; what it reads is turned into text to touch every cell.
#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/compound/CompoundFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrum::workbook;
    const std::vector<std::uint8_t> bytes(data, data + size);
    try {
        const Workbook workbook = Workbook::fromBytes(bytes, "fuzz.xls");
        std::size_t total = 0;
        for (const Sheet& sheet : workbook.sheets()) {
            for (int row = 0; row < sheet.rowCount(); ++row) {
                for (int column = 0; column < sheet.columnCount(); ++column)
                    total += toDisplayText(sheet.cell(row, column)).size();
            }
            const Table table(workbook, sheet.name());
            total += static_cast<std::size_t>(table.findColumn("Subject") + 1);
            // Columns read on their own, as the summary look-up reads them.
            for (int column = 0; column < std::min(table.columnCount(), 3); ++column) {
                for (int record = 0; record < table.recordCount(); ++record)
                    total += toDisplayText(table.field(record, column)).size();
            }
            // Rows a block at a time, as veltrum-xls cat reads them.
            workbook.forEachRow(sheet.name(), [&total](int, std::span<const Cell> cells) {
                for (const Cell& cell : cells)
                    total += toDisplayText(cell).size();
            });
        }
        (void)total;
    } catch (const WorkbookError&) {
    }
    // The container layer on its own, as a writer will use it: every entry's stream.
    try {
        const CompoundFile file(bytes);
        for (std::uint32_t id = 0; id < file.entries().size(); ++id) {
            if (file.entries()[id].type == EntryType::Stream || id == 0)
                (void)file.readStream(id);
            (void)file.children(id);
        }
    } catch (const CompoundFileError&) {
    }
    return 0;
}
