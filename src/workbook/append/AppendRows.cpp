#include "workbook/append/AppendRows.h"

#include "workbook/WorkbookError.h"
#include "workbook/biff/DateSystem.h"
#include "workbook/biff/RecordWriter.h"
#include "workbook/biff/Refusals.h"
#include "workbook/encoding/Unicode.h"

#include <cmath>
#include <map>

namespace veltrum::workbook {

namespace {

constexpr int kLastRow = 65535;
constexpr std::size_t kMaxTextLength = 32767;

int findColumn(const SheetScan& scan, std::string_view header) {
    for (const auto& [column, text] : scan.header) {
        if (text == header)
            return column;
    }
    for (const auto& [column, text] : scan.header) {
        if (sameIgnoringAsciiCase(text, header))
            return column;
    }
    return -1;
}

FormatClass classOf(ValueKind kind) {
    switch (kind) {
    case ValueKind::Date:
        return FormatClass::Date;
    case ValueKind::Time:
        return FormatClass::Time;
    case ValueKind::DateTime:
        return FormatClass::DateTime;
    default:
        return FormatClass::General;
    }
}

class FormatChooser {
public:
    FormatChooser(const SheetScan& scan, const CellFormats& formats, PreparedAppend& plan)
        : m_scan(scan)
        , m_formats(formats)
        , m_plan(plan) {}

    // The row above's format for the column, else the column's, else (for dates and times) one of the
    // workbook's date or time formats, else a new one; texts keep whatever the column shows.
    std::uint16_t choose(std::uint16_t column, ValueKind kind) {
        const auto key = std::make_pair(column, kind);
        if (auto found = m_chosen.find(key); found != m_chosen.end())
            return found->second;
        const FormatClass wanted = classOf(kind);
        auto fits = [&](std::uint16_t xf) {
            return kind == ValueKind::Text || formatShows(m_formats.classOf(xf), wanted);
        };
        std::optional<std::uint16_t> xf;
        // The header row's format (bold, centred) is not a data format.
        if (auto above = m_scan.lastRowXf.find(column);
            m_scan.lastCellRow >= 1 && above != m_scan.lastRowXf.end() && fits(above->second))
            xf = above->second;
        else if (auto columnXf = m_scan.columnXf(column); columnXf && fits(*columnXf))
            xf = columnXf;
        else if (wanted == FormatClass::General)
            xf = m_formats.defaultCellFormat();
        else
            xf = dateFormat(wanted);
        m_chosen.emplace(key, *xf);
        return *xf;
    }

private:
    std::uint16_t dateFormat(FormatClass wanted) {
        int found = m_formats.findCellFormat(wanted);
        if (found < 0 && wanted == FormatClass::Date)
            found = m_formats.findCellFormat(FormatClass::DateTime);
        if (found >= 0)
            return static_cast<std::uint16_t>(found);
        if (auto made = m_made.find(wanted); made != m_made.end())
            return made->second;
        // Built-in formats: 14 is a short date, 21 h:mm:ss, 22 a short date with time.
        const std::uint16_t number = wanted == FormatClass::Date ? 14 : wanted == FormatClass::Time ? 21 : 22;
        const auto index = static_cast<std::uint16_t>(m_formats.count() + m_plan.newFormats.size());
        m_plan.newFormats.push_back(m_formats.derivedFormat(number));
        m_made.emplace(wanted, index);
        return index;
    }

    const SheetScan& m_scan;
    const CellFormats& m_formats;
    PreparedAppend& m_plan;
    std::map<std::pair<std::uint16_t, ValueKind>, std::uint16_t> m_chosen;
    std::map<FormatClass, std::uint16_t> m_made;
};

} // namespace

void writeNewCell(std::vector<std::uint8_t>& out, int row, const NewCell& cell) {
    if (cell.isText)
        writeLabelSst(out, static_cast<std::uint16_t>(row), cell.column, cell.xf, cell.sst);
    else
        writeNumber(out, static_cast<std::uint16_t>(row), cell.column, cell.xf, cell.number);
}

PreparedAppend prepareRows(const std::vector<AppendRow>& rows, const SheetScan& scan,
                           const CellFormats& formats, SharedStrings& strings, bool date1904,
                           const std::string& file, const std::string& sheet) {
    const std::string where = file + ", sheet \"" + sheet + "\"";
    const int firstRow = scan.lastCellRow + 1;
    if (firstRow + static_cast<long>(rows.size()) - 1 > kLastRow)
        throw WorkbookError(where + ": the sheet is full (an Excel 97-2003 sheet holds at most 65,536 rows)");
    if (scan.header.empty())
        throw WorkbookError(where + ": the sheet has no header row naming its columns");

    // Check every row before touching the string table, so a refusal changes nothing.
    std::vector<std::map<std::uint16_t, const AppendValue*>> mapped(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (const AppendField& field : rows[r]) {
            const int column = findColumn(scan, field.header);
            if (column < 0) {
                std::vector<std::string> headers;
                for (const auto& [position, text] : scan.header)
                    headers.push_back(text);
                refuseNoSuchColumn(file, sheet, field.header, headers);
            }
            const AppendValue& value = field.value;
            const std::string what = where + ", column \"" + field.header + "\": ";
            if (value.kind == ValueKind::Text && utf16FromUtf8(value.text).size() > kMaxTextLength)
                throw WorkbookError(what + "the text is longer than 32,767 characters");
            if (value.kind != ValueKind::Text && value.kind != ValueKind::Empty &&
                !std::isfinite(value.number))
                throw WorkbookError(what + "the number is not finite");
            if (value.kind == ValueKind::Date || value.kind == ValueKind::DateTime) {
                if (date1904 && value.number < Days1899To1904)
                    throw WorkbookError(what +
                                        "the workbook counts dates from 1904 and cannot hold an earlier one");
                if (!date1904 && value.number < 2)
                    throw WorkbookError(what + "dates before 1900 cannot be stored in a workbook");
            }
            mapped[r][static_cast<std::uint16_t>(column)] = &value;
        }
    }

    PreparedAppend plan;
    FormatChooser chooser(scan, formats, plan);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        NewRow row{firstRow + static_cast<int>(r), {}};
        for (const auto& [column, value] : mapped[r]) {
            // An empty text is no value either: readers treat an empty shared string as damage.
            if (value->kind == ValueKind::Empty || (value->kind == ValueKind::Text && value->text.empty()))
                continue;
            NewCell cell;
            cell.column = column;
            cell.xf = chooser.choose(column, value->kind);
            if (value->kind == ValueKind::Text) {
                cell.isText = true;
                cell.sst = strings.reference(utf16FromUtf8(value->text));
            } else {
                cell.number = value->number;
                if (value->kind == ValueKind::Date || value->kind == ValueKind::DateTime) {
                    // 1900 system: Excel counts a 29 February 1900 that never was, so earlier dates are one
                    // less.
                    if (date1904)
                        cell.number -= Days1899To1904;
                    else if (cell.number < 61)
                        cell.number -= 1;
                }
            }
            plan.minColumn = std::min(plan.minColumn, column);
            plan.maxColumn = std::max(plan.maxColumn, column);
            row.cells.push_back(cell);
        }
        if (!row.cells.empty())
            plan.rows.push_back(std::move(row));
    }
    return plan;
}

} // namespace veltrum::workbook
