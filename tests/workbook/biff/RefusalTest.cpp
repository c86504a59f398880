// Workbooks the reader and the appender refuse, through one set of checks and messages: each message
// names the file and says what is wrong, and a refused append leaves the file byte for byte as it was.
#include "AppendSupport.h"
#include "WorkbookBytes.h"

#include "workbook/Appender.h"
#include "workbook/Workbook.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/compound/CompoundFileWriter.h"
#include "workbook/compound/CompoundImage.h"
#include "workbook/encoding/LittleEndian.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::workbook::test {
namespace {

using namespace workbook::testing;

WorkbookPlan oneSheet() {
    WorkbookPlan plan;
    plan.sheets.push_back({"Data", numberCell(0, 0, 1.0)});
    return plan;
}

struct ReadRefusal {
    const char* name;
    Bytes (*bytes)();
    const char* says; // a phrase the operator's message must hold
};

class RefusedWorkbook : public ::testing::TestWithParam<ReadRefusal> {};

TEST_P(RefusedWorkbook, NamesTheFileAndSaysWhatIsWrong) {
    try {
        // A damaged sheet is noticed when it is read, which sheets() does for every one.
        Workbook::fromBytes(GetParam().bytes(), "Parameters/12.xls").sheets();
        FAIL() << "the workbook was accepted";
    } catch (const WorkbookError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("Parameters/12.xls"), std::string::npos) << message;
        EXPECT_NE(message.find(GetParam().says), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedWorkbook,
    ::testing::Values(
        ReadRefusal{"Encrypted",
                    [] {
                        WorkbookPlan plan = oneSheet();
                        plan.globals = record(0x002F, {1, 0, 1, 0, 1, 0}) + plan.globals;
                        return workbookFile(plan);
                    },
                    "password"},
        ReadRefusal{
            "EncryptedNewerFormat",
            [] {
                return compoundFile({{"EncryptionInfo", Bytes(100)}, {"EncryptedPackage", Bytes(5000)}});
            },
            "password"},
        ReadRefusal{
            "SharedWorkbook",
            [] {
                return compoundFile({{"Workbook", workbookStream(oneSheet())}, {"User Names", Bytes(200)}});
            },
            "shared workbook"},
        ReadRefusal{"Excel95BookStream",
                    [] {
                        return compoundFile({{"Book", Bytes(600)}});
                    },
                    "Excel 5.0/95"},
        ReadRefusal{"Excel95Version",
                    [] {
                        WorkbookPlan plan = oneSheet();
                        plan.version = 0x0500;
                        return workbookFile(plan);
                    },
                    "Excel 5.0/95"},
        ReadRefusal{"Excel4Stream",
                    [] {
                        return record(0x0409, {0, 0, 0x10, 0});
                    },
                    "old Excel format"},
        ReadRefusal{"NoWorkbookStream",
                    [] {
                        return compoundFile({{"WordDocument", Bytes(5000)}});
                    },
                    "not an Excel 97-2003 workbook"},
        ReadRefusal{"Text",
                    [] {
                        return Bytes{'a', ',', 'b', '\n'};
                    },
                    "not an Excel 97-2003 workbook"},
        ReadRefusal{"Xlsx", [] { return Bytes{'P', 'K', 3, 4, 20, 0}; }, ".xlsx"},
        ReadRefusal{"TruncatedFile",
                    [] {
                        Bytes bytes = workbookFile(oneSheet());
                        bytes.resize(700);
                        return bytes;
                    },
                    "damaged"},
        ReadRefusal{"CyclicFat",
                    [] {
                        Layout layout;
                        Bytes big = workbookStream(oneSheet());
                        big.resize(5000);
                        Bytes bytes = compoundFile({{"Workbook", big}}, 3, &layout);
                        patchU32(bytes, layout.fatEntryOffset(layout.streamStart[0] + 3),
                                 layout.streamStart[0] + 1);
                        return bytes;
                    },
                    "damaged"},
        ReadRefusal{"RecordRunsPastStream",
                    [] {
                        WorkbookPlan plan = oneSheet();
                        Bytes stream = workbookStream(plan);
                        stream.resize(stream.size() - 3);
                        return compoundFile({{"Workbook", stream}});
                    },
                    "damaged"},
        ReadRefusal{"SharedTextIndexBeyondTable",
                    [] {
                        WorkbookPlan plan;
                        plan.sst = sstRecord(1, xlString("only"));
                        plan.sheets.push_back({"Data", labelSstCell(0, 0, 5)});
                        return workbookFile(plan);
                    },
                    "sheet 'Data'"},
        ReadRefusal{"CellBeyondLastColumn",
                    [] {
                        WorkbookPlan plan;
                        plan.sheets.push_back({"Data", numberCell(0, 300, 1.0)});
                        return workbookFile(plan);
                    },
                    "damaged in sheet 'Data'"}),
    [](const ::testing::TestParamInfo<ReadRefusal>& info) { return std::string(info.param.name); });

TEST(WorkbookOpen, RefusesAMissingFileNamingIt) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "veltrum-no-such-workbook.xls").string();
    EXPECT_THROW(
        {
            try {
                Workbook::open(path);
            } catch (const WorkbookError& error) {
                EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
                EXPECT_NE(std::string(error.what()).find("does not exist"), std::string::npos);
                throw;
            }
        },
        WorkbookError);
}

// A folder, a named pipe with no writer and an endless device: reading and appending both refuse at
// once, naming the path (before, the pipe blocked for ever and the device exhausted memory).
TEST(WorkbookOpen, ReaderAndAppenderRefuseWhatIsNotARegularFileAtOnce) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("veltrum-not-a-file-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string pipe = (folder / "Results_Summary.xls").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {folder.string(), "is a folder, not a workbook"},
        {pipe, "is not a regular file"},
        {"/dev/zero", "is not a regular file"},
    };
    for (const auto& [path, says] : cases) {
        for (int append = 0; append < 2; ++append) {
            try {
                if (append)
                    appendRecords(path, "All", {{{"Subject", AppendValue::fromText("P1")}}});
                else
                    Workbook::open(path);
                ADD_FAILURE() << path << " was accepted";
            } catch (const WorkbookError& error) {
                const std::string message = error.what();
                EXPECT_NE(message.find("'" + path + "' " + says), std::string::npos) << message;
            }
        }
    }
    std::filesystem::remove_all(folder);
}

TEST(WorkbookOpen, ReadsAFileFromDisk) {
    const auto path = std::filesystem::temp_directory_path() / "veltrum-reader-open-test.xls";
    const Bytes bytes = workbookFile(oneSheet());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const Workbook workbook = Workbook::open(path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(workbook.sheet("data").cell(0, 0).number, 1.0);
    EXPECT_EQ(workbook.path(), path.string());
}

// The appender's refusals, on fixtures and real-world files.

struct AppendRefusal {
    std::string name;
    std::string source; // fixture name or "corpus:" path
    std::function<Bytes(Bytes)> damage;
    std::string sheet;
    std::string column;
    std::string expected; // part of the message
};

std::ostream& operator<<(std::ostream& out, const AppendRefusal& r) {
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

const AppendRefusal AppendRefusals[] = {
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

class Refuses : public ::testing::TestWithParam<AppendRefusal> {};

TEST_P(Refuses, WithAClearMessageAndTheFileUntouched) {
    const AppendRefusal& r = GetParam();
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

INSTANTIATE_TEST_SUITE_P(Cases, Refuses, ::testing::ValuesIn(AppendRefusals),
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
