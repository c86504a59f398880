// The subject's history read from a summary workbook with sessions in three phases, and charted.
#include "console_qt/HistoryChart.h"
#include "platform/LocalFileSystem.h"
#include "workbook/Appender.h"

#include <QTemporaryDir>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLineSeries>

#include <gtest/gtest.h>

#include <filesystem>

namespace veltrum::console_qt {
namespace {

using workbook::AppendValue;

workbook::AppendRow record(const char* subject, int session, int phase, AppendValue trialPC,
                           AppendValue hopPC, AppendValue targetDR, AppendValue targetRate) {
    return {{"Subject", AppendValue::fromText(subject)},
            {"Session", AppendValue::fromNumber(session)},
            {"Phase", AppendValue::fromNumber(phase)},
            {"TrialPC", std::move(trialPC)},
            {"HopPC", std::move(hopPC)},
            {"TargetDR", std::move(targetDR)},
            {"TargetRate", std::move(targetRate)}};
}

TEST(SubjectHistory, ReadsSessionsInThreePhasesAndNamesThePhasesOnTheChart) {
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("Results_Summary.xls")).toStdString();
    std::filesystem::copy_file(VELTRUM_DEMO_FOLDER "/Results/Results_Summary.xls", path);
    const AppendValue zero = AppendValue::fromNumber(0);
    const auto text = [](const char* value) { return AppendValue::fromText(value); };
    workbook::appendRecords(path, "All",
                            {record("H7", 2, 1, zero, text("0.90"), zero, zero),
                             record("H7", 1, 1, zero, text("1.20"), zero, zero),
                             record("P101", 9, 4, text("0.99"), text("0.99"), text("0.99"), text("0.99")),
                             record("H7", 3, 2, text("0.40"), text("0.80"), zero, text("0.12")),
                             record("h7", 4, 2, text("0.70"), text("0.75"), zero, text("1.35")),
                             record("H7", 5, 3, text("0.80"), text("0.60"), text("0.70"), text("0.30"))});

    platform::LocalFileSystem files;
    records::WorkbookRecords records(files);
    const std::vector<history::SessionRates> sessions = history::readSubjectHistory(records, path, "H7");
    ASSERT_EQ(sessions.size(), 5u);
    std::vector<int> order, phases;
    for (const history::SessionRates& s : sessions) {
        order.push_back(s.session);
        phases.push_back(s.phase);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(phases, (std::vector<int>{1, 1, 2, 2, 3}));
    EXPECT_EQ(sessions[0].trialPC, 0.0) << "the number 0 the record writes for nothing counted";
    EXPECT_EQ(sessions[0].hopPC, 1.2);
    EXPECT_EQ(sessions[3].targetRate, 1.35);
    EXPECT_EQ(sessions[4].targetDR, 0.7);

    HistoryChart chart(false);
    chart.setHistory(QStringLiteral("H7"), sessions);
    QCategoryAxis* phaseAxis = nullptr;
    for (QAbstractAxis* axis : chart.axes())
        if (auto* categories = qobject_cast<QCategoryAxis*>(axis))
            phaseAxis = categories;
    ASSERT_NE(phaseAxis, nullptr);
    EXPECT_EQ(phaseAxis->categoriesLabels(),
              (QStringList{QStringLiteral("MagTrain"), QStringLiteral("Auto"), QStringLiteral("SuccDisc")}));
    EXPECT_DOUBLE_EQ(phaseAxis->endValue(QStringLiteral("MagTrain")), 2.5);
    EXPECT_DOUBLE_EQ(phaseAxis->endValue(QStringLiteral("Auto")), 4.5);
    for (QAbstractSeries* series : chart.series())
        EXPECT_EQ(static_cast<QLineSeries*>(series)->count(), 5) << series->name().toStdString();
}

} // namespace
} // namespace veltrum::console_qt
