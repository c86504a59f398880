// What an opened workbook keeps: the file's bytes, the Workbook stream within them, what the
// workbook-wide part says about cells (formats, date system, shared strings), and the worksheets,
// each read when first asked for.
#pragma once

#include "workbook/Workbook.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/read/WorksheetReader.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrum::workbook {

struct WorkbookContents {
    std::string path;
    bool date1904 = false;
    std::optional<CompoundFile> compound;
    std::vector<std::uint8_t> streamCopy; // when the stream's sectors are not in one run
    std::span<const std::uint8_t> stream;
    std::vector<CellKind> styleKinds;
    std::shared_ptr<const SharedStrings> sharedStrings;  // refers to `stream`
    std::vector<std::size_t> sheetOffsets;               // BOF of each worksheet, parallel to `sheets`
    std::vector<Sheet> sheets;                           // names at once, cells when loaded
    std::vector<std::shared_ptr<SheetCells>> sheetCells; // parallel to `sheets`
    std::vector<bool> loaded;
    std::vector<std::string> otherSheetNames;

    // Opens a compound file; throws WorkbookError (every message names `file`).
    static std::shared_ptr<WorkbookContents> read(CompoundFile compound, const std::string& file);

    ReadContext context() const;
    // Index of a worksheet by name (ASCII case ignored); throws WorkbookError naming file and sheet.
    std::size_t worksheetIndex(std::string_view name) const;
    // Measures a worksheet; throws WorkbookError naming file and sheet when it is damaged.
    SheetExtent measure(std::size_t index) const;
    const Sheet& load(std::size_t index);
};

} // namespace veltrum::workbook
