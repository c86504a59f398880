#include "history/SubjectHistory.h"

#include "engine/Phase.h"
#include "engine/SubjectName.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace veltrum::history {

namespace {

std::optional<double> numberOf(const workbook::Cell& cell) {
    switch (cell.kind) {
    case workbook::CellKind::Number:
        return std::isfinite(cell.number) ? std::optional<double>(cell.number) : std::nullopt;
    case workbook::CellKind::Text:
        return numberIn(cell.text);
    default:
        return std::nullopt;
    }
}

} // namespace

std::string phaseName(int phase) {
    const engine::PhaseRules* rules = engine::phaseNumbered(phase);
    return rules ? std::string(rules->name) : "Phase " + std::to_string(phase);
}

std::optional<double> numberIn(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const std::size_t last = text.find_last_not_of(" \t");
    double value = 0.0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [at, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || at != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::vector<SessionRates> readSubjectHistory(const std::string& summaryWorkbook, std::string_view subject) {
    const workbook::Workbook book = workbook::Workbook::open(summaryWorkbook);
    const workbook::Table table(book, "All");
    const int subjectColumn = table.column("Subject");
    const int sessionColumn = table.column("Session");
    const int phaseColumn = table.column("Phase");
    const int trialColumn = table.findColumn("TrialPC");
    const int ratioColumn = table.findColumn("TargetDR");
    const int rateColumn = table.findColumn("TargetRate");
    const int hopColumn = table.findColumn("HopPC");
    const auto rate = [&](int record, int column) {
        return column < 0 ? std::nullopt : numberOf(table.field(record, column));
    };

    std::vector<SessionRates> sessions;
    for (int record = 0; record < table.recordCount(); ++record) {
        const workbook::Cell& name = table.field(record, subjectColumn);
        if (name.isEmpty() || !engine::sameSubjectIgnoringCase(workbook::toDisplayText(name), subject))
            continue;
        const std::optional<double> session = numberOf(table.field(record, sessionColumn));
        const std::optional<double> phase = numberOf(table.field(record, phaseColumn));
        // A record without a usable session number cannot be placed on the plot.
        if (!session || std::fabs(*session) > 1e6)
            continue;
        SessionRates rates;
        rates.session = static_cast<int>(*session);
        rates.phase = phase && std::fabs(*phase) < 1e6 ? static_cast<int>(*phase) : 0;
        rates.trialPC = rate(record, trialColumn);
        rates.targetDR = rate(record, ratioColumn);
        rates.targetRate = rate(record, rateColumn);
        rates.hopPC = rate(record, hopColumn);
        sessions.push_back(rates);
    }
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const SessionRates& a, const SessionRates& b) { return a.session < b.session; });
    return sessions;
}

} // namespace veltrum::history
