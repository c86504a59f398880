// The summary record of a saved session: its 29 columns with their kinds, the rate rules and the comment
// split, computed from the session's totals and the moment of saving.
#pragma once

#include "engine/SessionState.h"
#include "forms/Int16.h"
#include "platform/Clock.h"
#include "workbook/Appender.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrum::results {

using forms::Int16;

// The session's figures the summary record is made from, as they stand when the operator saves.
using engine::SessionTotals;

// What the record takes from the moment of saving rather than from the session.
struct SavingMoment {
    platform::CalendarDate date;
    double secondsSinceMidnight = 0.0;
    std::int32_t box = 0;    // the listening port, which identifies the chamber
    std::string commentText; // the comment box's text, UTF-8
};

inline constexpr std::string_view ProgramVersion = "Version 6.1";
inline constexpr std::string_view ShapingKeysPrefix = "SHAPING KEYS USED.";
// Each comment column holds this many characters; the comment box holds two columns' worth.
inline constexpr std::size_t CommentColumnCharacters = 255;
inline constexpr std::size_t CommentCharacters = 2 * CommentColumnCharacters;

// A quotient written as a "####0.00" text, or the number 0 when the divisor is 0.
workbook::AppendValue quotientValue(double numerator, double denominator);

// The three rate columns "TargetDR", "TargetRate" and "PreTargetDR"; the first rule that applies decides:
// nothing pecked, "MagTrain", "Auto", any other phase.
struct RateColumns {
    workbook::AppendValue TargetDR;
    workbook::AppendValue TargetRate;
    workbook::AppendValue PreTargetDR;
};
RateColumns rateColumns(const SessionTotals& totals);

// The "Hop PC" caption of the summary window: head entries per begun trial in whole percent, "0" when
// there was no head entry or no trial.
std::string hopPercentText(Int16 HopCheck, Int16 CurrentTrial);

// Pecks counted in the session, goal and off-goal, before and after the fixed interval (16-bit sum).
Int16 totalPecks(const SessionTotals& totals);

// Up to `count` characters (UTF-8 code points) of `text` starting at character `first` (from 0).
std::string characterRange(std::string_view text, std::size_t first, std::size_t count);

// The record's 29 fields, named by their column headers, in the order they are assigned.
workbook::AppendRow summaryRecord(const SessionTotals& totals, const SavingMoment& moment);

} // namespace veltrum::results
