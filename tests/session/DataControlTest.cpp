#include "session/DataControl.h"

#include "SessionHarness.h"

#include <gtest/gtest.h>

namespace veltrum::session {
namespace {

using testing::DiskFileSystem;
using testing::fixture;

TEST(DataControlTest, WalksRecordsAndReadsFieldsByNameAndPosition) {
    DiskFileSystem files;
    DataControl data(files, "Data1");
    data.setDatabaseName(fixture("summary_shuffled"));
    data.setRecordSource("All$");
    data.refresh();

    std::vector<std::string> rows;
    for (data.moveFirst(); !data.eof(); data.moveNext())
        rows.push_back(workbook::toDisplayText(data.field("subject")) + "/" +
                       workbook::toDisplayText(data.field(2)));
    EXPECT_EQ(rows, (std::vector<std::string>{"B1/3", "b1/1", "B1/2"}));
    EXPECT_THROW(data.moveNext(), workbook::WorkbookError);
    EXPECT_THROW(data.field("Session"), workbook::WorkbookError);
}

} // namespace
} // namespace veltrum::session
