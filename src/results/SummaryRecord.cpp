#include "results/SummaryRecord.h"
#include "engine/Phase.h"

#include "results/Formats.h"

#include <cmath>
#include <utility>

namespace veltrum::results {

using workbook::AppendValue;

namespace {

AppendValue number(Int16 value) {
    return AppendValue::fromNumber(value.toDouble());
}

AppendValue plainText(Int16 value) {
    return AppendValue::fromText(value.toString());
}

AppendValue zero() {
    return AppendValue::fromNumber(0.0);
}

// Per-trial fractions are only written when something was counted; otherwise the number 0.
AppendValue fractionOfTrials(Int16 count, Int16 CurrentTrial) {
    return count != 0 ? quotientValue(count.toDouble(), CurrentTrial.toDouble()) : zero();
}

std::size_t byteOffsetOfCharacter(std::string_view text, std::size_t character) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && seen++ == character)
            return i;
    }
    return text.size();
}

} // namespace

AppendValue quotientValue(double numerator, double denominator) {
    if (denominator == 0.0)
        return zero();
    return AppendValue::fromText(formatTwoDecimals(numerator / denominator));
}

RateColumns rateColumns(const SessionTotals& totals) {
    const Int16 T = totals.TargetPecks;
    const Int16 N = totals.NonTargetPecks;
    // A name that is no phase is counted as the discriminations are.
    const engine::PhaseRules* phase = engine::phaseNamed(totals.PhaseDescription);
    const engine::RateRule rule = phase ? phase->rates : engine::RateRule::All;
    if (T + N == 0 || rule == engine::RateRule::None)
        return {zero(), zero(), zero()};
    const AppendValue targetRate = quotientValue(T.toDouble(), totals.StimulusTotalTime);
    if (rule == engine::RateRule::TargetOnly)
        return {zero(), targetRate, zero()};
    const Int16 reinforced = totals.TargetSPlus + totals.PreTargetSPlus;
    const Int16 all = reinforced + totals.TargetSMinus + totals.PreTargetSMinus;
    return {quotientValue(reinforced.toDouble(), all.toDouble()), targetRate,
            quotientValue(totals.PreTargetSPlus.toDouble(),
                          (totals.PreTargetSPlus + totals.PreTargetSMinus).toDouble())};
}

std::string hopPercentText(Int16 HopCheck, Int16 CurrentTrial) {
    if (HopCheck == 0 || CurrentTrial == 0)
        return "0";
    return formatWholeNumber(HopCheck.toDouble() / CurrentTrial.toDouble() * 100.0);
}

Int16 totalPecks(const SessionTotals& totals) {
    return totals.TargetPecks + totals.PreTargetPecks + totals.NonTargetPecks + totals.PreNonTargetPecks;
}

std::string characterRange(std::string_view text, std::size_t first, std::size_t count) {
    const std::size_t begin = byteOffsetOfCharacter(text, first);
    const std::size_t end = byteOffsetOfCharacter(text.substr(begin), count);
    return std::string(text.substr(begin, end));
}

workbook::AppendRow summaryRecord(const SessionTotals& totals, const SavingMoment& moment) {
    const auto wholeSeconds = static_cast<long>(std::floor(moment.secondsSinceMidnight)) % 86400;
    const RateColumns rates = rateColumns(totals);
    const std::string& comment = moment.commentText;
    const bool shapingKeys = comment.starts_with(ShapingKeysPrefix);

    workbook::AppendRow row;
    const auto put = [&row](const char* column, AppendValue value) {
        row.push_back({column, std::move(value)});
    };
    put("Subject", AppendValue::fromText(totals.Subject));
    put("Date", AppendValue::fromDate(moment.date.year, moment.date.month, moment.date.day));
    put("Time",
        AppendValue::fromTime(static_cast<int>(wholeSeconds / 3600), static_cast<int>(wholeSeconds / 60 % 60),
                              static_cast<double>(wholeSeconds % 60)));
    put("Box", AppendValue::fromNumber(moment.box));
    put("Session", number(totals.SessionNumber));
    put("Phase", number(totals.PhaseNumber));
    put("Trials", number(totals.CurrentTrial));
    put("ProgramVersion", AppendValue::fromText(std::string(ProgramVersion)));
    put("HopPC", fractionOfTrials(totals.HopCheck, totals.CurrentTrial));
    put("TrialPC", fractionOfTrials(totals.TrialsWPeck, totals.CurrentTrial));
    put("TargetDR", rates.TargetDR);
    put("TargetRate", rates.TargetRate);
    put("PreTargetDR", rates.PreTargetDR);
    put("Duration", plainText(totals.SessionTime));
    put("Target", plainText(totals.TargetPecks + totals.PreTargetPecks));
    put("Screen", plainText(totalPecks(totals)));
    put("Timeouts", plainText(totals.Timeouts));
    put("TT", number(totals.TotalTrials));
    put("SeD", number(totals.SessionDuration));
    put("HASP", number(totals.Instrumental));
    put("HAES", number(totals.Pavlovian));
    put("IHHD", number(totals.HeadDetect));
    put("HD", number(totals.HopperDuration));
    put("ITI", number(totals.NoResponseITI));
    put("TITI", number(totals.ResponseITI));
    put("SD", number(totals.StimulusTotalCount));
    put("ShapingKeys", AppendValue::fromText(shapingKeys ? "Yes" : "No"));
    put("Comments", AppendValue::fromText(characterRange(comment, 0, CommentColumnCharacters)));
    put("Comments2",
        AppendValue::fromText(characterRange(comment, CommentColumnCharacters, CommentColumnCharacters)));
    return row;
}

} // namespace veltrum::results
