#include "export/SourceRows.h"

#include "export/Columns.h"
#include "export/Csv.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <functional>
#include <vector>

namespace veltrum::exporting {

namespace {

using workbook::Cell;
using workbook::CellKind;

std::string headerLine(std::span<const Column> columns) {
    std::string line;
    for (const Column& column : columns) {
        if (!line.empty())
            line += ',';
        line += column.name;
    }
    return line + "\r\n";
}

long wholeNumber(std::string_view text, long otherwise) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : otherwise;
}

// Builds one line of a table from the cells of one row: `cellOf(i)` gives the cell for column i of
// `columns` that comes from the source (it is not asked for the export's own columns, which `own` fills).
class LineBuilder {
public:
    LineBuilder(std::span<const Column> columns, SourceRows& result)
        : m_columns(columns)
        , m_result(result) {}

    // The typed values of the row, by column; the export's own columns are set by the caller afterwards.
    void type(long row, const std::function<Cell(std::size_t)>& cellOf) {
        m_values.assign(m_columns.size(), std::string());
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            const Column& column = m_columns[i];
            if (column.header.empty())
                continue;
            const Cell cell = cellOf(i);
            std::optional<std::string> value = typedValue(column.type, cell);
            if (!value) {
                if (m_result.badValues++ == 0)
                    m_result.firstBadValue = "row " + std::to_string(row) + ", \"" +
                                             std::string(column.header) + "\" holds \"" +
                                             workbook::toDisplayText(cell) + "\"";
                value = std::string();
            }
            m_values[i] = std::move(*value);
        }
    }
    std::string& value(std::string_view name) {
        for (std::size_t i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].name == name)
                return m_values[i];
        throw std::logic_error("no exported column " + std::string(name));
    }
    void appendLine(std::string& out) const {
        for (std::size_t i = 0; i < m_values.size(); ++i) {
            if (i)
                out += ',';
            appendCsvField(out, m_values[i]);
        }
        out += "\r\n";
    }

private:
    std::span<const Column> m_columns;
    SourceRows& m_result;
    std::vector<std::string> m_values;
};

// Fills the trial row's own columns and checks its subject and session against the file name's.
void finishTrialRow(LineBuilder& line, const SourceInfo& source, long row, const Cell& subject,
                    const Cell& session, SourceRows& result) {
    const std::string sessionText = std::to_string(source.session);
    const std::optional<std::string> rowSubject = typedValue(ValueType::Text, subject);
    const std::optional<std::string> rowSession = typedValue(ValueType::Integer, session);
    if (rowSubject != source.subject || rowSession != sessionText)
        ++result.otherSessionRows;
    line.value("subject") = source.subject;
    line.value("session") = sessionText;
    line.value("row") = std::to_string(row);
    line.value("phase_name") = std::string(phaseName(line.value("phase")));
    line.value("source_file") = source.file;
    line.value("source_kind") = kindName(source.kind);
}

bool allEmpty(const std::vector<Cell>& cells) {
    return std::all_of(cells.begin(), cells.end(), [](const Cell& cell) {
        return cell.isEmpty() || (cell.kind == CellKind::Text && cell.text.empty());
    });
}

} // namespace

std::string trialHeaderLine() {
    return headerLine(trialColumns());
}

std::string sessionHeaderLine() {
    return headerLine(sessionColumns());
}

SourceRows trialRowsFromWorkbook(std::string bytes, const SourceInfo& source) {
    SourceRows result;
    try {
        const workbook::Workbook book = workbook::Workbook::fromBytes(std::move(bytes), source.file);
        const std::span<const Column> columns = trialColumns();
        std::vector<std::string> headers{"Subject", "Session"};
        for (const Column& column : columns)
            if (!column.header.empty())
                headers.emplace_back(column.header);
        const workbook::Table table(book, "Data", headers);
        std::vector<int> positions; // the table's column for each entry of `headers`
        for (const std::string& header : headers)
            positions.push_back(table.column(header));
        std::vector<std::size_t> cellOfColumn(columns.size(), 0); // entry of `headers` for each column
        for (std::size_t i = 0, next = 2; i < columns.size(); ++i)
            if (!columns[i].header.empty())
                cellOfColumn[i] = next++;
        LineBuilder line(columns, result);
        std::vector<Cell> cells(headers.size());
        for (int record = 0; record < table.recordCount(); ++record) {
            for (std::size_t i = 0; i < headers.size(); ++i)
                cells[i] = table.field(record, positions[i]);
            if (allEmpty(cells))
                continue;
            const long row = record + 1;
            line.type(row, [&](std::size_t i) { return cells[cellOfColumn[i]]; });
            finishTrialRow(line, source, row, cells[0], cells[1], result);
            line.appendLine(result.csv);
            ++result.rows;
        }
    } catch (const workbook::WorkbookError& error) {
        result = {};
        result.problem = error.what();
    }
    return result;
}

SourceRows trialRowsFromRecoveryFile(std::string_view bytes, const SourceInfo& source) {
    SourceRows result;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::vector<std::string> fields;
    if (!readCsvRecord(bytes, fields)) {
        result.problem = source.file + ": an empty file, not a recovery file";
        return result;
    }
    const std::vector<std::string> header = fields;
    auto find = [&header](std::string_view name) -> int {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return static_cast<int>(i);
        for (std::size_t i = 0; i < header.size(); ++i)
            if (std::equal(header[i].begin(), header[i].end(), name.begin(), name.end(),
                           [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
                return static_cast<int>(i);
        return -1;
    };
    const std::span<const Column> columns = trialColumns();
    std::vector<int> positions(columns.size(), -1);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].header.empty())
            continue;
        positions[i] = find(columns[i].header);
        if (positions[i] < 0) {
            result.problem = source.file + ": no column \"" + std::string(columns[i].header) +
                             "\" in its first line, not a recovery file";
            return result;
        }
    }
    const int subjectAt = find("Subject");
    const int sessionAt = find("Session");
    if (subjectAt < 0 || sessionAt < 0) {
        result.problem = source.file + ": no column \"Subject\" or \"Session\", not a recovery file";
        return result;
    }
    auto cellAt = [&fields](int position) {
        Cell cell;
        if (position < static_cast<int>(fields.size()) &&
            !fields[static_cast<std::size_t>(position)].empty()) {
            cell.kind = CellKind::Text;
            cell.text = fields[static_cast<std::size_t>(position)];
        }
        return cell;
    };
    LineBuilder line(columns, result);
    for (long record = 1; readCsvRecord(bytes, fields); ++record) {
        if (fields.size() == 1 && fields[0].empty())
            continue; // a blank line
        line.type(record, [&](std::size_t i) { return cellAt(positions[i]); });
        finishTrialRow(line, source, record, cellAt(subjectAt), cellAt(sessionAt), result);
        line.appendLine(result.csv);
        ++result.rows;
    }
    return result;
}

SourceRows sessionRowsFromSummary(std::string bytes, const std::string& displayName) {
    SourceRows result;
    try {
        const workbook::Workbook book = workbook::Workbook::fromBytes(std::move(bytes), displayName);
        const workbook::Table table(book, "All");
        const std::span<const Column> columns = sessionColumns();
        std::vector<int> positions(columns.size(), -1);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].header.empty())
                continue;
            positions[i] = table.findColumn(columns[i].header);
            if (positions[i] < 0)
                result.missingColumns +=
                    (result.missingColumns.empty() ? "\"" : ", \"") + std::string(columns[i].header) + "\"";
        }
        if (table.findColumn("Subject") < 0 || table.findColumn("Session") < 0)
            throw workbook::WorkbookError(displayName + ": the sheet \"All\" has no column \"Subject\" or "
                                                        "\"Session\"");
        struct Line {
            std::string subject;
            long session;
            long row;
            std::string text;
        };
        std::vector<Line> lines;
        LineBuilder line(columns, result);
        for (int record = 0; record < table.recordCount(); ++record) {
            auto cellOf = [&](std::size_t i) {
                return positions[i] < 0 ? Cell{} : table.field(record, positions[i]);
            };
            bool empty = true;
            for (std::size_t i = 0; i < columns.size() && empty; ++i) {
                const Cell cell = cellOf(i);
                empty = cell.isEmpty() || (cell.kind == CellKind::Text && cell.text.empty());
            }
            if (empty)
                continue;
            const long row = record + 1;
            line.type(row, cellOf);
            line.value("row") = std::to_string(row);
            line.value("phase_name") = std::string(phaseName(line.value("phase")));
            Line sorted{line.value("subject"), wholeNumber(line.value("session"), LONG_MAX), row, {}};
            line.appendLine(sorted.text);
            lines.push_back(std::move(sorted));
        }
        std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
            return std::tie(a.subject, a.session, a.row) < std::tie(b.subject, b.session, b.row);
        });
        for (const Line& sorted : lines)
            result.csv += sorted.text;
        result.rows = static_cast<long>(lines.size());
    } catch (const workbook::WorkbookError& error) {
        result = {};
        result.problem = error.what();
    }
    return result;
}

} // namespace veltrum::exporting
