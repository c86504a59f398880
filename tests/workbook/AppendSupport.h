// Shared helpers of the append tests: fixture and corpus files, temporary folders, sample rows and
// comparisons of sheets and compound file streams.
#pragma once

#include "workbook/Appender.h"
#include "workbook/Workbook.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace veltrum::workbook::test {

std::filesystem::path fixtureFile(const std::string& name);
// A file of the real-world corpus in tests/corpus; throws (failing the test) when it is missing.
std::filesystem::path corpusFile(const std::string& relative);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A fresh folder under the system temporary folder, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// The header texts of a sheet's first row (empty cells left out).
std::vector<std::string> headerNames(const Sheet& sheet);

// Sample values cycling through texts (ASCII, accents, CJK, emoji, empty, 255 and 300 characters),
// integers, dates and times; `row` and `column` pick the value.
AppendValue sampleValue(int row, int column);
// What the reader shows for a sample value ("" for empty).
std::string expectedText(const AppendValue& value);
CellKind expectedKind(const AppendValue& value);

// `count` rows filling every named column of `headers` with sample values, numbered from `firstRow`.
std::vector<AppendRow> sampleRows(const std::vector<std::string>& headers, int firstRow, int count);

// Every cell of a sheet as "kind:text", for comparing sheets.
std::vector<std::vector<std::string>> sheetCells(const Sheet& sheet);

// Differences, in words, between the two files' compound file contents other than the named stream:
// every other stream byte for byte, every directory entry except stream start and size.
std::vector<std::string> otherStreamDifferences(const std::vector<std::uint8_t>& before,
                                                const std::vector<std::uint8_t>& after,
                                                const std::string& changedStream);

// The file rewritten with its Workbook stream changed by `edit`.
std::vector<std::uint8_t> withWorkbookStream(const std::vector<std::uint8_t>& file,
                                             const std::function<void(std::vector<std::uint8_t>&)>& edit);
// Inserts bytes into the workbook globals at `offset` and moves every sheet position behind it along.
void insertIntoGlobals(std::vector<std::uint8_t>& stream, std::size_t offset,
                       const std::vector<std::uint8_t>& bytes);

} // namespace veltrum::workbook::test
