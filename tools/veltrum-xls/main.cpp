// veltrum-xls: lists the sheets of an Excel 97-2003 workbook, prints a sheet as CSV, or dumps every
// cell with its kind as JSON Lines for comparisons with other readers.
#include "AppendCommand.h"
#include "Version.h"
#include "workbook/Workbook.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace veltrum::workbook;

constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

const char* const Usage = "usage: veltrum-xls sheets FILE\n"
                          "       veltrum-xls cat FILE SHEET\n"
                          "       veltrum-xls dump FILE\n"
                          "       veltrum-xls append FILE SHEET "
                          "Header[:number|text|date|time|datetime|empty]=value ...\n";

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

// The dump's kind and value of a cell that has a record, or false for a cell without one.
bool jsonKindAndValue(const Cell& cell, std::string& kind, std::string& value) {
    switch (cell.kind) {
    case CellKind::Empty:
        if (!cell.blank)
            return false;
        kind = "blank";
        value = "null";
        return true;
    case CellKind::Text:
        value = jsonString(cell.text);
        break;
    case CellKind::Boolean:
        value = cell.boolean ? "true" : "false";
        break;
    case CellKind::Error:
        value = std::to_string(cell.errorCode);
        break;
    default: {
        const std::string number = formatNumber(cell.number);
        value = number == "#NUM!" ? "null" : number;
    }
    }
    kind = kindName(cell.kind);
    return true;
}

int listSheets(const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ExitUsage;
    for (const std::string& name : Workbook::open(args[0]).sheetNames())
        std::cout << name << '\n';
    return 0;
}

// Prints row after row as it reads them, so a large sheet never sits in memory whole.
int catSheet(const std::vector<std::string>& args) {
    if (args.size() != 2)
        return ExitUsage;
    const Workbook workbook = Workbook::open(args[0]);
    std::string line;
    workbook.forEachRow(args[1], [&](int, std::span<const Cell> cells) {
        line.clear();
        for (std::size_t column = 0; column < cells.size(); ++column) {
            if (column > 0)
                line += ',';
            line += csvField(toDisplayText(cells[column]));
        }
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    });
    return 0;
}

int dumpCells(const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ExitUsage;
    const Workbook workbook = Workbook::open(args[0]);
    std::string kind;
    std::string value;
    for (const Sheet& sheet : workbook.sheets()) {
        const std::string name = jsonString(sheet.name());
        std::cout << "{\"sheet\":" << name << ",\"rows\":" << sheet.rowCount()
                  << ",\"cols\":" << sheet.columnCount() << "}\n";
        for (int row = 0; row < sheet.rowCount(); ++row) {
            for (int column = 0; column < sheet.columnCount(); ++column) {
                if (!jsonKindAndValue(sheet.cell(row, column), kind, value))
                    continue;
                std::cout << "{\"sheet\":" << name << ",\"row\":" << row << ",\"col\":" << column
                          << ",\"kind\":\"" << kind << "\",\"value\":" << value << "}\n";
            }
        }
    }
    return 0;
}

struct Command {
    std::string_view name;
    int (*run)(const std::vector<std::string>& args);
};

constexpr Command Commands[] = {
    {"sheets", listSheets},
    {"cat", catSheet},
    {"dump", dumpCells},
    {"append", veltrum::workbook::appendCommand},
};

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        std::cerr << Usage;
        return ExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h") {
        std::cout << Usage << "       veltrum-xls --version\n";
        return 0;
    }
    if (name == "--version") {
        std::cout << "veltrum-xls " << VELTRUM_VERSION << '\n';
        return 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& command : Commands) {
        if (command.name != name)
            continue;
        try {
            const int status = command.run(args);
            if (status == ExitUsage)
                std::cerr << Usage;
            return status;
        } catch (const WorkbookError& error) {
            std::cout.flush();
            std::cerr << "veltrum-xls: " << error.what() << '\n';
            return ExitRefused;
        }
    }
    std::cerr << "veltrum-xls: unknown command '" << name << "'\n" << Usage;
    return ExitUsage;
}
