#include "workbook/append/Biff8Appender.h"

#include "workbook/WorkbookError.h"
#include "workbook/append/AppendRows.h"
#include "workbook/append/CellFormats.h"
#include "workbook/append/RowBlocks.h"
#include "workbook/append/SheetScan.h"
#include "workbook/biff/Layout.h"
#include "workbook/biff/RecordWriter.h"
#include "workbook/biff/Refusals.h"
#include "workbook/biff/SharedStrings.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

const SheetInfo& findSheet(const BiffLayout& layout, std::string_view name, const std::string& file) {
    for (const SheetInfo& sheet : layout.sheets) {
        if (sheet.name == name)
            return sheet;
    }
    for (const SheetInfo& sheet : layout.sheets) {
        if (sameIgnoringAsciiCase(sheet.name, name))
            return sheet;
    }
    std::vector<std::string> names;
    for (const SheetInfo& sheet : layout.sheets)
        names.push_back(sheet.name);
    refuseNoSuchSheet(file, name, names);
}

// The part of the target sheet's cell table that is written again: from the first block that reaches
// the new rows' 32-row group (or holds ROW records for rows being written) to the table's end; earlier
// blocks are copied untouched.
struct Tail {
    std::size_t start = 0;
    std::size_t end = 0;
    std::vector<std::size_t> records;
    std::size_t oldDbCells = 0;
};

Tail findTail(const BiffLayout& layout, const SheetScan& scan, int firstNew) {
    Tail tail;
    tail.start = scan.tableStart == SIZE_MAX ? scan.dimensions + 1 : scan.tableEnd;
    for (std::size_t b = 0; b < scan.blocks.size(); ++b) {
        if (scan.blockRows[b].second >= 0 && scan.blockRows[b].second / 32 >= firstNew / 32) {
            tail.start = scan.blocks[b].first;
            break;
        }
    }
    tail.end = scan.tableStart == SIZE_MAX ? tail.start : std::max(tail.start, scan.tableEnd);
    for (std::size_t i = tail.start; i < tail.end; ++i) {
        tail.records.push_back(i);
        tail.oldDbCells += layout.records[i].type == record::DbCell;
    }
    return tail;
}

// Rebuilds the stream record by record: runs of untouched records are copied as they are; the
// target sheet's tail, its DIMENSIONS, every INDEX, the shared string table and the last XF are
// written afresh; then every position that moved is set again (sheet list, INDEX entries).
class StreamRebuild {
public:
    StreamRebuild(std::span<const std::uint8_t> stream, const BiffLayout& layout, const SheetScan& scan,
                  const PreparedAppend& plan, const SharedStrings& strings, std::size_t target, Tail tail)
        : m_stream(stream)
        , m_layout(layout)
        , m_scan(scan)
        , m_plan(plan)
        , m_strings(strings)
        , m_target(target)
        , m_tail(std::move(tail))
        , m_regenerateStrings(strings.changed() || !plan.newFormats.empty())
        , m_newPos(layout.records.size(), 0)
        , m_dbPositions(layout.sheets.size())
        , m_indexSlot(layout.sheets.size(), UINT32_MAX)
        , m_defColWidthPos(layout.sheets.size(), UINT32_MAX) {
        countDbCells();
        m_out.reserve(stream.size() + plan.rows.size() * 64 + 16384);
    }

    std::vector<std::uint8_t> run(const std::string& file) {
        for (std::size_t i = 0; i < m_layout.records.size();) {
            if (!isRewritten(i)) {
                keep(i++);
                continue;
            }
            flush(m_layout.records[i].offset);
            i = rewrite(i);
        }
        if (m_pending != UINT32_MAX)
            flush(m_layout.records.back().end());
        m_out.insert(m_out.end(), m_stream.begin() + m_layout.trailingOffset, m_stream.end());
        setPositions(file);
        return std::move(m_out);
    }

private:
    // How many DBCELLs each sheet has once the target's tail is written again.
    void countDbCells() {
        const auto& records = m_layout.records;
        m_dbCells.assign(m_layout.sheets.size(), 0);
        for (std::size_t s = 0; s < m_layout.sheets.size(); ++s) {
            for (std::size_t i = m_layout.sheets[s].bof; i <= m_layout.sheets[s].eof && i < records.size();
                 ++i)
                m_dbCells[s] += records[i].depth == 1 && records[i].type == record::DbCell;
        }
        m_dbCells[m_target] = m_dbCells[m_target] - m_tail.oldDbCells +
                              tailBlockCount(m_stream, m_layout, m_tail.records, m_plan.rows);
    }

    int sheetOf(std::size_t i) const {
        for (std::size_t s = 0; s < m_layout.sheets.size(); ++s) {
            if (i >= m_layout.sheets[s].bof && i <= m_layout.sheets[s].eof)
                return static_cast<int>(s);
        }
        return -1;
    }

    bool isSharedStringRecord(std::size_t i) const {
        return m_regenerateStrings &&
               (i == m_layout.extSst || (!m_layout.sst.empty() && i == m_layout.sst.front()) ||
                (m_layout.sst.empty() && i == m_layout.globalsEof));
    }

    bool isRewritten(std::size_t i) const {
        const RecordRef& ref = m_layout.records[i];
        return (i == m_tail.start && !m_tailWritten) || i == m_scan.dimensions || isSharedStringRecord(i) ||
               (ref.depth == 1 && (ref.type == record::Index || ref.type == record::DbCell ||
                                   ref.type == record::DefColWidth)) ||
               (!m_layout.xfs.empty() && i == m_layout.xfs.back());
    }

    // An untouched record joins the run being copied.
    void keep(std::size_t i) {
        const RecordRef& ref = m_layout.records[i];
        if (m_pending == UINT32_MAX)
            m_pending = ref.offset;
        m_newPos[i] = static_cast<std::uint32_t>(m_out.size() + (ref.offset - m_pending));
    }

    void flush(std::uint32_t upTo) {
        if (m_pending != UINT32_MAX)
            m_out.insert(m_out.end(), m_stream.begin() + m_pending, m_stream.begin() + upTo);
        m_pending = UINT32_MAX;
    }

    std::uint32_t here() const { return static_cast<std::uint32_t>(m_out.size()); }

    void writeStrings() {
        const auto table = m_strings.serialize(here());
        m_out.insert(m_out.end(), table.begin(), table.end());
    }

    // Writes record `i` (and any that go with it) afresh; returns the next record to look at.
    std::size_t rewrite(std::size_t i) {
        const RecordRef& ref = m_layout.records[i];
        if (i == m_tail.start && !m_tailWritten) {
            m_tailWritten = true;
            for (std::size_t k : m_tail.records)
                m_newPos[k] = here();
            for (std::uint32_t position : emitTail(m_out, m_stream, m_layout, m_tail.records, m_plan.rows,
                                                   rowTemplateFor(m_stream, m_layout, m_scan)))
                m_dbPositions[m_target].push_back(position);
            return m_tail.end;
        }
        m_newPos[i] = here();
        if (m_regenerateStrings && !m_layout.sst.empty() && i == m_layout.sst.front()) {
            writeStrings();
            for (std::size_t k : m_layout.sst)
                m_newPos[k] = m_newPos[i];
            return m_layout.sst.back() + 1;
        }
        if (m_regenerateStrings && i == m_layout.extSst)
            return i + 1;
        if (m_regenerateStrings && m_layout.sst.empty() && m_strings.changed() && i == m_layout.globalsEof) {
            writeStrings();
            m_newPos[i] = here();
        }
        const int s = sheetOf(i);
        if (s >= 0 && ref.depth == 1 && ref.type == record::Index && m_indexSlot[s] == UINT32_MAX) {
            // Its row block positions are filled in once every DBCELL has its place.
            m_indexSlot[s] = here();
            std::vector<std::uint8_t> body(16 + 4 * m_dbCells[s], 0);
            std::copy_n(m_stream.begin() + ref.body(), std::min<std::size_t>(16, ref.size), body.begin());
            writeRecord(m_out, record::Index, body);
            return i + 1;
        }
        if (i == m_scan.dimensions) {
            writeRecord(m_out, record::Dimensions, widenedDimensions(m_stream, ref, m_plan));
            return i + 1;
        }
        if (s >= 0 && ref.depth == 1 && ref.type == record::DbCell)
            m_dbPositions[s].push_back(m_newPos[i]);
        if (s >= 0 && ref.depth == 1 && ref.type == record::DefColWidth)
            m_defColWidthPos[s] = m_newPos[i];
        m_out.insert(m_out.end(), m_stream.begin() + ref.offset, m_stream.begin() + ref.end());
        if (!m_layout.xfs.empty() && i == m_layout.xfs.back()) {
            for (const auto& body : m_plan.newFormats)
                writeRecord(m_out, record::Xf, body);
        }
        return i + 1;
    }

    // Every sheet's position in the sheet list, and every INDEX's rows, DEFCOLWIDTH and DBCELLs.
    void setPositions(const std::string& file) {
        const int firstNew = m_plan.rows.front().row;
        for (std::size_t s = 0; s < m_layout.sheets.size(); ++s) {
            const SheetInfo& info = m_layout.sheets[s];
            put32(m_out, m_newPos[info.boundSheet] + 4, m_newPos[info.bof]);
            if (m_indexSlot[s] == UINT32_MAX)
                continue;
            if (m_dbPositions[s].size() != m_dbCells[s])
                refuseDamaged(file, "the row blocks do not add up", info.name);
            const std::size_t body = m_indexSlot[s] + 4;
            if (s == m_target) {
                const int first = m_scan.firstRow < 0 ? firstNew : std::min(m_scan.firstRow, firstNew);
                put32(m_out, body + 4, static_cast<std::uint32_t>(first));
                put32(m_out, body + 8,
                      static_cast<std::uint32_t>(std::max(m_scan.lastRow, m_plan.rows.back().row) + 1));
            }
            if (m_defColWidthPos[s] != UINT32_MAX)
                put32(m_out, body + 12, m_defColWidthPos[s]);
            for (std::size_t k = 0; k < m_dbPositions[s].size(); ++k)
                put32(m_out, body + 16 + 4 * k, m_dbPositions[s][k]);
        }
    }

    std::span<const std::uint8_t> m_stream;
    const BiffLayout& m_layout;
    const SheetScan& m_scan;
    const PreparedAppend& m_plan;
    const SharedStrings& m_strings;
    std::size_t m_target;
    Tail m_tail;
    bool m_regenerateStrings;
    bool m_tailWritten = false;
    std::vector<std::size_t> m_dbCells;
    std::vector<std::uint8_t> m_out;
    // Where each old record lies in the new stream.
    std::vector<std::uint32_t> m_newPos;
    std::vector<std::vector<std::uint32_t>> m_dbPositions;
    std::vector<std::uint32_t> m_indexSlot;
    std::vector<std::uint32_t> m_defColWidthPos;
    // Where the run of untouched records being copied starts in the old stream.
    std::uint32_t m_pending = UINT32_MAX;
};

} // namespace

std::vector<std::uint8_t> appendToWorkbookStream(std::span<const std::uint8_t> stream,
                                                 const std::string& file, std::string_view sheetName,
                                                 const std::vector<AppendRow>& rows) {
    const BiffLayout layout = BiffLayout::parse(stream, file);
    if (layout.encrypted)
        refuseEncrypted(file);
    const SheetInfo& sheet = findSheet(layout, sheetName, file);
    if (sheet.kind != WorksheetSubstream)
        refuseNotWorksheet(file, sheet.name);
    if (sheet.eof >= layout.records.size())
        refuseDamaged(file, "a sheet's records end without an end-of-file record", sheet.name);
    SharedStrings strings;
    try {
        strings = SharedStrings::parse(layout.globals.sharedStrings);
    } catch (const BiffError& error) {
        refuseDamaged(file, error.what());
    }
    const SheetScan scan = scanSheet(stream, layout, sheet, strings);
    if (scan.dimensions == SIZE_MAX || layout.records[scan.dimensions].size < 14)
        refuseDamaged(file, "the sheet has no record of its extent", sheet.name);

    const CellFormats formats(stream, layout);
    const PreparedAppend plan = prepareRows(rows, scan, formats, strings, layout.date1904, file, sheet.name);
    if (plan.rows.empty())
        return {stream.begin(), stream.end()};
    const auto target = static_cast<std::size_t>(&sheet - layout.sheets.data());
    StreamRebuild rebuild(stream, layout, scan, plan, strings, target,
                          findTail(layout, scan, plan.rows.front().row));
    return rebuild.run(file);
}

} // namespace veltrum::workbook
