#include "AppendSupport.h"

#include "workbook/biff/Layout.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/compound/CompoundFileWriter.h"
#include "workbook/compound/CompoundImage.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace veltrum::workbook::test {

std::filesystem::path fixtureFile(const std::string& name) {
    return std::filesystem::path(VELTRUM_FIXTURE_DIR) / name;
}

std::filesystem::path corpusFile(const std::string& relative) {
    const auto path = std::filesystem::path(VELTRUM_CORPUS_DIR) / "xls" / relative;
    if (!std::filesystem::exists(path))
        throw std::runtime_error("the corpus file " + path.string() + " is missing");
    return path;
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-append-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> headerNames(const Sheet& sheet) {
    std::vector<std::string> names;
    for (int column = 0; column < sheet.columnCount(); ++column) {
        const Cell& cell = sheet.cell(0, column);
        if (cell.kind == CellKind::Text && !cell.text.empty() &&
            std::find(names.begin(), names.end(), cell.text) == names.end())
            names.push_back(cell.text);
    }
    return names;
}

AppendValue sampleValue(int row, int column) {
    switch ((row + column) % 10) {
    case 0:
        return AppendValue::fromText("trial " + std::to_string(row));
    case 1:
        return AppendValue::fromText("Größe café ñ");
    case 2:
        return AppendValue::fromText("鳩 反応 " + std::to_string(row));
    case 3:
        return AppendValue::fromText("peck 🐦 ok");
    case 4:
        return AppendValue::fromText("");
    case 5:
        return AppendValue::fromText(std::string(255, 'x'));
    case 6:
        return AppendValue::fromText(std::string(299, 'y') + std::to_string(row % 10));
    case 7:
        return AppendValue::fromNumber(row * 1000 + column);
    case 8:
        return AppendValue::fromDate(2026, 1 + row % 12, 1 + row % 28);
    default:
        return AppendValue::fromTime(row % 24, column % 60, 30);
    }
}

std::string expectedText(const AppendValue& value) {
    Cell cell;
    cell.kind = expectedKind(value);
    cell.number = value.number;
    cell.text = value.text;
    return toDisplayText(cell);
}

CellKind expectedKind(const AppendValue& value) {
    switch (value.kind) {
    case ValueKind::Number:
        return CellKind::Number;
    case ValueKind::Text:
        return value.text.empty() ? CellKind::Empty : CellKind::Text;
    case ValueKind::Date:
        return CellKind::Date;
    case ValueKind::Time:
        return CellKind::Time;
    case ValueKind::DateTime:
        return CellKind::DateTime;
    case ValueKind::Empty:
        return CellKind::Empty;
    }
    return CellKind::Empty;
}

std::vector<AppendRow> sampleRows(const std::vector<std::string>& headers, int firstRow, int count) {
    std::vector<AppendRow> rows;
    for (int r = firstRow; r < firstRow + count; ++r) {
        AppendRow row;
        for (std::size_t c = 0; c < headers.size(); ++c)
            row.push_back({headers[c], sampleValue(r, static_cast<int>(c))});
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::vector<std::string>> sheetCells(const Sheet& sheet) {
    std::vector<std::vector<std::string>> cells(sheet.rowCount());
    for (int row = 0; row < sheet.rowCount(); ++row) {
        for (int column = 0; column < sheet.columnCount(); ++column) {
            const Cell& cell = sheet.cell(row, column);
            cells[row].push_back(std::string(kindName(cell.kind)) + ":" + toDisplayText(cell));
        }
    }
    return cells;
}

std::vector<std::string> otherStreamDifferences(const std::vector<std::uint8_t>& before,
                                                const std::vector<std::uint8_t>& after,
                                                const std::string& changedStream) {
    std::vector<std::string> differences;
    const CompoundFile a(before);
    const CompoundFile b(after);
    if (a.entries().size() != b.entries().size())
        return {"directory entry count differs"};
    if (a.majorVersion() != b.majorVersion() || a.sectorSize() != b.sectorSize())
        differences.push_back("version or sector size differs");
    for (std::uint32_t id = 0; id < a.entries().size(); ++id) {
        const DirectoryEntry& x = a.entries()[id];
        const DirectoryEntry& y = b.entries()[id];
        const bool placed = x.type == EntryType::Stream || x.type == EntryType::Root;
        for (std::size_t k = 0; k < 128; ++k) {
            if (placed && k >= 116)
                break;
            if (x.raw[k] != y.raw[k]) {
                differences.push_back("directory entry " + x.utf8Name + " differs at byte " +
                                      std::to_string(k));
                break;
            }
        }
        if (x.type == EntryType::Stream && x.utf8Name != changedStream &&
            a.readStream(id) != b.readStream(id))
            differences.push_back("stream " + x.utf8Name + " differs");
    }
    return differences;
}

std::vector<std::uint8_t> withWorkbookStream(const std::vector<std::uint8_t>& file,
                                             const std::function<void(std::vector<std::uint8_t>&)>& edit) {
    const CompoundFile compound(file);
    CompoundImage image = CompoundImage::from(compound);
    edit(image.streams[*compound.findStream("Workbook")]);
    return writeCompoundFile(image);
}

void insertIntoGlobals(std::vector<std::uint8_t>& stream, std::size_t offset,
                       const std::vector<std::uint8_t>& bytes) {
    const BiffLayout layout = BiffLayout::parse(stream, "test");
    for (const SheetInfo& sheet : layout.sheets) {
        const std::size_t at = layout.records[sheet.boundSheet].body();
        put32(stream, at, get32(stream, at) + static_cast<std::uint32_t>(bytes.size()));
    }
    stream.insert(stream.begin() + static_cast<long>(offset), bytes.begin(), bytes.end());
}

} // namespace veltrum::workbook::test
