#include "export/SourceName.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace veltrum::exporting {

namespace {

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<long> smallNumber(std::string_view digits) {
    if (!allDigits(digits) || digits.size() > 9)
        return std::nullopt;
    long value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

// "<Subject>.<N>", read from the right.
bool parseStem(std::string_view stem, SourceName& source) {
    const std::size_t dot = stem.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    const std::optional<long> session = smallNumber(stem.substr(dot + 1));
    if (!session)
        return false;
    source.subject = std::string(stem.substr(0, dot));
    source.session = *session;
    return true;
}

// `name` without `ending`, and without ".<marker>" or ".<marker>-<K>" before it (K >= 2, kept in
// `copy`); nothing when the name does not end that way.
std::optional<std::string_view> withoutMarker(std::string_view name, std::string_view marker,
                                              std::string_view ending, int& copy) {
    if (!name.ends_with(ending))
        return std::nullopt;
    std::string_view rest = name.substr(0, name.size() - ending.size());
    copy = 1;
    const std::size_t dash = rest.rfind('-');
    if (dash != std::string_view::npos && rest.substr(0, dash).ends_with(marker)) {
        const std::optional<long> number = smallNumber(rest.substr(dash + 1));
        if (!number || *number < 2)
            return std::nullopt;
        copy = static_cast<int>(*number);
        rest = rest.substr(0, dash);
    }
    if (!rest.ends_with(marker) || rest.size() == marker.size())
        return std::nullopt;
    const std::string_view stem = rest.substr(0, rest.size() - marker.size());
    if (!stem.ends_with('.'))
        return std::nullopt;
    return stem.substr(0, stem.size() - 1);
}

bool endsWithIgnoringCase(std::string_view name, std::string_view ending) {
    return name.size() >= ending.size() &&
           std::equal(ending.begin(), ending.end(), name.end() - static_cast<long>(ending.size()),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

} // namespace

const char* kindName(SourceKind kind) {
    switch (kind) {
    case SourceKind::Saved:
        return "saved";
    case SourceKind::NotSaved:
        return "not-saved";
    case SourceKind::Discarded:
        return "discarded";
    case SourceKind::Recovery:
        return "recovery";
    case SourceKind::Live:
        return "live";
    }
    return "";
}

SourceName parseSourceName(std::string_view name) {
    SourceName source;
    if (name.empty() || name.front() == '.' || name == "Session_Template.xls") {
        source.role = NameRole::Quiet;
        return source;
    }
    if (name == "Results_Summary.xls") {
        source.role = NameRole::Summary;
        return source;
    }
    const struct {
        std::string_view marker;
        std::string_view ending;
        SourceKind kind;
    } markers[] = {
        {"not-saved", ".xls", SourceKind::NotSaved},
        {"discarded", ".xls", SourceKind::Discarded},
        {"rows-not-in-workbook", ".csv", SourceKind::Recovery},
    };
    for (const auto& marker : markers) {
        int copy = 1;
        const std::optional<std::string_view> stem = withoutMarker(name, marker.marker, marker.ending, copy);
        if (stem && parseStem(*stem, source)) {
            source.role = NameRole::Trials;
            source.kind = marker.kind;
            source.copy = copy;
            return source;
        }
        source = {};
    }
    if (name.ends_with(".xls") && parseStem(name.substr(0, name.size() - 4), source)) {
        source.role = NameRole::Trials;
        source.kind = SourceKind::Saved;
        return source;
    }
    source = {};
    // The session's picture beside its workbook.
    if (name.ends_with(".png") && parseStem(name.substr(0, name.size() - 4), source)) {
        source = {};
        source.role = NameRole::Quiet;
        return source;
    }
    source = {};
    if (endsWithIgnoringCase(name, ".xls") || endsWithIgnoringCase(name, ".csv"))
        source.role = NameRole::Foreign;
    return source;
}

} // namespace veltrum::exporting
