// A subject's earlier sessions as the summary workbook records them: session, phase and the rates the
// history plot shows, so the operator sees progress before choosing the phase.
#pragma once

#include "records/SessionRecords.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::history {

// "MagTrain", "Auto", "SuccDisc", "SimDisc" for phases 1 to 4; "Phase N" for any other number.
std::string phaseName(int phase);

struct SessionRates {
    int session = 0;
    int phase = 0;
    // The record's rate columns; empty where the cell holds nothing readable as a number. The number 0
    // the record writes when there was nothing to count reads as 0.
    std::optional<double> trialPC;    // "TrialPC": fraction of trials with a peck
    std::optional<double> targetDR;   // "TargetDR": discrimination ratio
    std::optional<double> targetRate; // "TargetRate": goal pecks per second of stimulus time
    std::optional<double> hopPC;      // "HopPC": head entries per trial
};

// The subject's records of sheet "All", by session number (records of one session in workbook order), as
// the session's records read the summary. Subjects are compared ignoring ASCII case, as at start-up.
// Throws workbook::WorkbookError when the workbook cannot be read, or has records but lacks the
// "Subject", "Session" or "Phase" column.
std::vector<SessionRates> readSubjectHistory(records::SessionRecords& records,
                                             const std::string& summaryWorkbook, std::string_view subject);

// A cell's number: the number itself, or a text that is a whole decimal number ("0.75", " 12 ").
std::optional<double> numberIn(const std::string& text);

} // namespace veltrum::history
