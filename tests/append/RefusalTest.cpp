// Workbooks and requests the appender refuses: the message names what is wrong and the file on disk
// stays byte for byte as it was.
#include "AppendSupport.h"

#include "workbook/biff/Layout.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/compound/CompoundFileWriter.h"
#include "workbook/compound/CompoundImage.h"

#include <functional>
#include <gtest/gtest.h>

namespace veltrum::workbook::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Refusal {
    std::string name;
    std::string source; // fixture name or "corpus:" path
    std::function<Bytes(Bytes)> damage;
    std::string sheet;
    std::string column;
    std::string expected; // part of the message
};

std::ostream& operator<<(std::ostream& out, const Refusal& r) {
    return out << r.name;
}

// Inserts a record right after the workbook globals' BOF.
Bytes withGlobalsRecord(const Bytes& file, std::uint16_t type, Bytes body) {
    return withWorkbookStream(file, [&](Bytes& stream) {
        Bytes record;
        append16(record, type);
        append16(record, static_cast<std::uint16_t>(body.size()));
        record.insert(record.end(), body.begin(), body.end());
        insertIntoGlobals(stream, 4 + get16(stream, 2), record);
    });
}

// Renames a root-level entry (a shared workbook keeps a "User Names" stream).
Bytes withRenamedEntry(const Bytes& file, const std::u16string& from, const std::u16string& to) {
    const CompoundFile compound(file);
    CompoundImage image = CompoundImage::from(compound);
    for (auto& raw : image.entries) {
        std::u16string name;
        for (std::size_t i = 0; i + 1 < 64 && (raw[i] | raw[i + 1]); i += 2)
            name.push_back(char16_t(raw[i] | (raw[i + 1] << 8)));
        if (name != from)
            continue;
        std::fill(raw.begin(), raw.begin() + 64, 0);
        for (std::size_t i = 0; i < to.size(); ++i) {
            raw[2 * i] = std::uint8_t(to[i]);
            raw[2 * i + 1] = std::uint8_t(to[i] >> 8);
        }
        raw[64] = std::uint8_t(2 * to.size() + 2);
        raw[65] = 0;
    }
    return writeCompoundFile(image);
}

Bytes unchanged(Bytes bytes) {
    return bytes;
}

const Refusal Refusals[] = {
    {"UnknownSheet", "summary.xls", unchanged, "Sessions", "Subject", "no sheet named 'Sessions'"},
    {"UnknownColumn", "summary.xls", unchanged, "All", "Pecks per minute", "no column 'Pecks per minute'"},
    {"Encrypted", "summary.xls",
     [](Bytes b) {
         return withGlobalsRecord(b, 0x002F, {0, 0, 1, 0, 1, 0});
     },
     "All", "Subject", "password"},
    {"Shared", "summary.xls",
     [](Bytes b) { return withRenamedEntry(b, u"\x05SummaryInformation", u"User Names"); }, "All", "Subject",
     "shared"},
    {"Truncated", "summary.xls",
     [](Bytes b) {
         b.resize(b.size() / 2);
         return b;
     },
     "All", "Subject", "damaged"},
    {"NotAWorkbook", "summary.xls", [](Bytes) { return Bytes(4096, 'x'); }, "All", "Subject", "not an Excel"},
    {"Xlsx", "summary.xls",
     [](Bytes) {
         Bytes b(4096, 0);
         b[0] = 'P';
         b[1] = 'K';
         return b;
     },
     "All", "Subject", "xlsx"},
    {"Biff5", "corpus:libxls/biff5-label-records.xls", unchanged, "Sheet1", "a", "old Excel format"},
    {"Biff4", "corpus:xlrd/biff4_no_format_no_window2.xls", unchanged, "Sheet1", "a", "old Excel format"},
    {"EmptySheet", "corpus:libxls/empty-sheets.xls", unchanged, "empty", "x", "no header row"},
    {"FullSheet", "corpus:libxls/65536-rows-xls.xls", unchanged, "", "", "65,536 rows"},
};

class Refuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refuses, WithAClearMessageAndTheFileUntouched) {
    const Refusal& r = GetParam();
    const auto source =
        r.source.rfind("corpus:", 0) == 0 ? corpusFile(r.source.substr(7)) : fixtureFile(r.source);
    TemporaryFolder folder;
    const auto path = folder / source.filename().string();
    writeBytes(path, r.damage(readBytes(source)));
    const Bytes before = readBytes(path);
    std::string sheet = r.sheet;
    std::string column = r.column;
    if (sheet.empty()) {
        const Workbook workbook = Workbook::open(path.string());
        sheet = workbook.sheetNames().front();
        const auto headers = headerNames(workbook.sheet(sheet));
        column = headers.empty() ? "x" : headers.front();
    }
    try {
        appendRecords(path.string(), sheet, {{{column, AppendValue::fromNumber(1)}}});
        FAIL() << "appended instead of refusing";
    } catch (const WorkbookError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(r.expected), std::string::npos) << message;
        EXPECT_NE(message.find(path.string()), std::string::npos) << message;
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, Refuses, ::testing::ValuesIn(Refusals),
                         [](const auto& info) { return info.param.name; });

TEST(Refuses, DatesBeforeTheWorkbooksDateSystem) {
    const auto bytes = readBytes(fixtureFile("summary.xls"));
    EXPECT_THROW(appendRecordsToBytes(bytes, "s", "All", {{{"Date", AppendValue::fromDate(1899, 6, 1)}}}),
                 WorkbookError);
}

TEST(Appends, ARowWithEveryValueEmptyChangesNothing) {
    const auto bytes = readBytes(fixtureFile("summary.xls"));
    EXPECT_EQ(appendRecordsToBytes(bytes, "s", "All", {{{"Subject", AppendValue::empty()}}}), bytes);
}

} // namespace
} // namespace veltrum::workbook::test
