#include "workbook/Workbook.h"

#include "workbook/WorkbookReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace veltrum::workbook {

namespace {

// Far above any workbook a lab keeps; stops a wrong path to a huge file from exhausting memory.
constexpr std::uintmax_t MaxFileBytes = 512u * 1024u * 1024u;

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names)
        out += (out.empty() ? "'" : ", '") + name + "'";
    return out.empty() ? "none" : out;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        throw WorkbookError("Cannot open workbook '" + path +
                            "': the file does not exist. Check the folder and the file name.");
    if (std::filesystem::is_directory(status))
        throw WorkbookError("Cannot open workbook '" + path + "': it is a folder, not a file.");
    const auto unreadable = [&path](const std::string& why) {
        return WorkbookError("Cannot read workbook '" + path + "': " + why +
                             ". Check that the file is readable and not locked by another program.");
    };
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        throw unreadable(std::strerror(errno));
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        throw unreadable(error.message());
    if (size > MaxFileBytes)
        throw WorkbookError(
            "Workbook '" + path + "' is too large (" + std::to_string(size / (1024 * 1024)) +
            " MB) to be a workbook this program reads. Check that the path names the right file.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw unreadable(std::ferror(file.get()) ? std::strerror(errno)
                                                 : "the file changed while it was read");
    return bytes;
}

} // namespace

const Cell& Sheet::cell(int row, int column) const {
    static const Cell empty;
    if (row < 0 || column < 0 || row >= rowCount())
        return empty;
    const std::size_t start = m_rowStarts[static_cast<std::size_t>(row)];
    const std::size_t width = m_rowStarts[static_cast<std::size_t>(row) + 1] - start;
    return static_cast<std::size_t>(column) < width ? m_cells[start + static_cast<std::size_t>(column)]
                                                    : empty;
}

Workbook Workbook::open(const std::string& path) {
    return WorkbookReader::read(readFile(path), path);
}

Workbook Workbook::fromBytes(const std::vector<std::uint8_t>& bytes, const std::string& displayName) {
    return WorkbookReader::read(bytes, displayName);
}

std::vector<std::string> Workbook::sheetNames() const {
    std::vector<std::string> names;
    names.reserve(m_sheets.size());
    for (const Sheet& sheet : m_sheets)
        names.push_back(sheet.name());
    return names;
}

const Sheet& Workbook::sheet(std::string_view name) const {
    for (const Sheet& sheet : m_sheets) {
        if (sameIgnoringAsciiCase(sheet.name(), name))
            return sheet;
    }
    for (const std::string& other : m_otherSheetNames) {
        if (sameIgnoringAsciiCase(other, name))
            throw WorkbookError(
                "Workbook '" + m_path + "': sheet '" + std::string(name) +
                "' is a chart or macro sheet, not a worksheet. Keep the data on a worksheet.");
    }
    throw WorkbookError("Workbook '" + m_path + "' has no sheet named '" + std::string(name) +
                        "' (its sheets: " + joined(sheetNames()) +
                        "). Check the sheet name in the workbook.");
}

} // namespace veltrum::workbook
