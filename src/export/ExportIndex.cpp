#include "export/ExportIndex.h"

#include <charconv>
#include <vector>

namespace veltrum::exporting {

namespace {

constexpr std::string_view FirstLine = "veltrum-export index 1";
constexpr std::string_view LastLine = "end";

// File names may hold any byte but '/' and NUL: tabs, line ends and '%' are written as %XX.
std::string escaped(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size() ||
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr != text.data() + i + 3)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

template <typename Number>
bool number(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::string keyText(const FileKey& key) {
    return std::to_string(key.device) + '\t' + std::to_string(key.inode) + '\t' + std::to_string(key.size) +
           '\t' + std::to_string(key.modifiedNs);
}

bool readKey(const std::vector<std::string_view>& fields, std::size_t at, FileKey& key) {
    return fields.size() >= at + 4 && number(fields[at], key.device) && number(fields[at + 1], key.inode) &&
           number(fields[at + 2], key.size) && number(fields[at + 3], key.modifiedNs);
}

std::optional<SourceKind> kindNamed(std::string_view name) {
    for (const SourceKind kind : {SourceKind::Saved, SourceKind::NotSaved, SourceKind::Discarded,
                                  SourceKind::Recovery, SourceKind::Live})
        if (name == kindName(kind))
            return kind;
    return std::nullopt;
}

} // namespace

std::string indexText(const ExportIndex& index) {
    std::string text = std::string(FirstLine) + "\n";
    text += "trials\t" + keyText(index.trialsFile) + "\n";
    if (index.hasSessions)
        text += "sessions\t" + keyText(index.sessionsFile) + "\t" + keyText(index.summary) + "\t" +
                std::to_string(index.sessionRows) + "\n";
    for (const auto& [file, source] : index.sources)
        text += "source\t" + keyText(source.key) + "\t" + kindName(source.kind) + "\t" +
                std::to_string(source.rows) + "\t" + std::to_string(source.offset) + "\t" +
                std::to_string(source.length) + "\t" + escaped(file) + "\n";
    for (const auto& [file, refusal] : index.refused)
        text += "refused\t" + keyText(refusal.first) + "\t" + escaped(refusal.second) + "\t" + escaped(file) +
                "\n";
    return text + std::string(LastLine) + "\n";
}

std::optional<ExportIndex> parseIndex(std::string_view text) {
    ExportIndex index;
    bool ended = false;
    bool first = true;
    bool hasTrials = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos || ended)
            return std::nullopt; // a torn last line, or lines after the end
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (first) {
            if (line != FirstLine)
                return std::nullopt;
            first = false;
            continue;
        }
        if (line == LastLine) {
            ended = true;
            continue;
        }
        const std::vector<std::string_view> fields = split(line);
        if (fields[0] == "trials" && fields.size() == 5 && readKey(fields, 1, index.trialsFile)) {
            hasTrials = true;
        } else if (fields[0] == "sessions" && fields.size() == 10 && readKey(fields, 1, index.sessionsFile) &&
                   readKey(fields, 5, index.summary) && number(fields[9], index.sessionRows)) {
            index.hasSessions = true;
        } else if (fields[0] == "source" && fields.size() == 10) {
            IndexedSource source;
            const std::optional<SourceKind> kind = kindNamed(fields[5]);
            const std::optional<std::string> file = unescaped(fields[9]);
            if (!readKey(fields, 1, source.key) || !kind || !file || !number(fields[6], source.rows) ||
                !number(fields[7], source.offset) || !number(fields[8], source.length))
                return std::nullopt;
            source.kind = *kind;
            index.sources[*file] = source;
        } else if (fields[0] == "refused" && fields.size() == 7) {
            FileKey key;
            const std::optional<std::string> reason = unescaped(fields[5]);
            const std::optional<std::string> file = unescaped(fields[6]);
            if (!readKey(fields, 1, key) || !reason || !file)
                return std::nullopt;
            index.refused[*file] = {key, *reason};
        } else {
            return std::nullopt;
        }
    }
    if (!ended || !hasTrials)
        return std::nullopt;
    return index;
}

} // namespace veltrum::exporting
