#include "export/Csv.h"

namespace veltrum::exporting {

void appendCsvField(std::string& line, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

bool readCsvRecord(std::string_view& input, std::vector<std::string>& fields) {
    fields.clear();
    if (input.empty())
        return false;
    std::string field;
    std::size_t i = 0;
    bool quoted = false;
    while (i < input.size()) {
        const char c = input[i];
        if (quoted) {
            if (c == '"' && i + 1 < input.size() && input[i + 1] == '"') {
                field += '"';
                i += 2;
            } else if (c == '"') {
                quoted = false;
                ++i;
            } else {
                field += c;
                ++i;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            ++i;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            ++i;
        } else if (c == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
            i += 2;
            break;
        } else if (c == '\n') {
            ++i;
            break;
        } else {
            field += c;
            ++i;
        }
    }
    fields.push_back(std::move(field));
    input.remove_prefix(i);
    return true;
}

} // namespace veltrum::exporting
