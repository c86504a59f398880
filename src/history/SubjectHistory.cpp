#include "history/SubjectHistory.h"

#include "engine/Phase.h"
#include "engine/SubjectName.h"

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

std::vector<SessionRates> readSubjectHistory(records::SessionRecords& records,
                                             const std::string& summaryWorkbook, std::string_view subject) {
    const std::shared_ptr<const records::SummaryEntries> entries =
        records.summaryEntries(summaryWorkbook, "All", records::SessionRecords::Rates::Wanted);
    std::vector<SessionRates> sessions;
    for (std::size_t i = 0; i < entries->size(); ++i) {
        const workbook::Cell rowSubject = entries->subjectAt(i);
        if (rowSubject.isEmpty() ||
            !engine::sameSubjectIgnoringCase(workbook::toDisplayText(rowSubject), subject))
            continue;
        const records::SummaryEntry entry = entries->at(i);
        const std::optional<double> session = numberOf(entry.session);
        const std::optional<double> phase = numberOf(entry.phase);
        // A record without a usable session number cannot be placed on the plot.
        if (!session || std::fabs(*session) > 1e6)
            continue;
        SessionRates rates;
        rates.session = static_cast<int>(*session);
        rates.phase = phase && std::fabs(*phase) < 1e6 ? static_cast<int>(*phase) : 0;
        rates.trialPC = numberOf(entry.trialPC);
        rates.targetDR = numberOf(entry.targetDR);
        rates.targetRate = numberOf(entry.targetRate);
        rates.hopPC = numberOf(entry.hopPC);
        sessions.push_back(rates);
    }
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const SessionRates& a, const SessionRates& b) { return a.session < b.session; });
    return sessions;
}

} // namespace veltrum::history
