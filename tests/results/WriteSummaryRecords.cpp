// Appends two summary records to a copy of a summary workbook, for an independent reader to check:
// one with head entries and pecks, one with nothing counted. Usage: write_summary_records WORKBOOK
#include "results/SummaryRecord.h"
#include "workbook/Appender.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WORKBOOK\n", argv[0]);
        return 2;
    }
    using veltrum::results::SessionTotals;
    SessionTotals counted;
    counted.Subject = "P101";
    counted.PhaseDescription = "SuccDisc";
    counted.SessionNumber = 4;
    counted.PhaseNumber = 3;
    counted.CurrentTrial = 4;
    counted.HopCheck = 3;
    counted.TrialsWPeck = 2;
    counted.TargetPecks = 7;
    counted.NonTargetPecks = 1;
    counted.TargetSPlus = 6;
    counted.TargetSMinus = 2;
    counted.PreTargetSPlus = 1;
    counted.PreTargetSMinus = 1;
    counted.StimulusTotalTime = 70.0;
    counted.SessionTime = 12;
    counted.TotalTrials = 40;
    counted.StimulusTotalCount = 10;
    SessionTotals nothing;
    nothing.Subject = "P102";
    nothing.SessionNumber = 2;
    nothing.PhaseNumber = 1;
    nothing.PhaseDescription = "MagTrain";

    std::string comment(300, 'x');
    comment.replace(0, 19, "SHAPING KEYS USED. ");
    try {
        veltrum::workbook::appendRecords(
            argv[1], "All",
            {veltrum::results::summaryRecord(counted, {{2026, 1, 5}, 37230.4, 12345, comment}),
             veltrum::results::summaryRecord(nothing, {{2026, 1, 6}, 0.0, 12346, ""})});
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
