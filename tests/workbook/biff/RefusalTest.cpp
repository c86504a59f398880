#include "workbook/Appender.h"
#include "workbook/Workbook.h"

#include "WorkbookBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::workbook {
namespace {

using namespace testing;

WorkbookPlan oneSheet() {
    WorkbookPlan plan;
    plan.sheets.push_back({"Data", numberCell(0, 0, 1.0)});
    return plan;
}

struct Refusal {
    const char* name;
    Bytes (*bytes)();
    const char* says; // a phrase the operator's message must hold
};

class RefusedWorkbook : public ::testing::TestWithParam<Refusal> {};

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
        Refusal{"Encrypted",
                [] {
                    WorkbookPlan plan = oneSheet();
                    plan.globals = record(0x002F, {1, 0, 1, 0, 1, 0}) + plan.globals;
                    return workbookFile(plan);
                },
                "password"},
        Refusal{"EncryptedNewerFormat",
                [] {
                    return compoundFile({{"EncryptionInfo", Bytes(100)}, {"EncryptedPackage", Bytes(5000)}});
                },
                "password"},
        Refusal{
            "SharedWorkbook",
            [] {
                return compoundFile({{"Workbook", workbookStream(oneSheet())}, {"User Names", Bytes(200)}});
            },
            "shared workbook"},
        Refusal{"Excel95BookStream",
                [] {
                    return compoundFile({{"Book", Bytes(600)}});
                },
                "Excel 5.0/95"},
        Refusal{"Excel95Version",
                [] {
                    WorkbookPlan plan = oneSheet();
                    plan.version = 0x0500;
                    return workbookFile(plan);
                },
                "Excel 5.0/95"},
        Refusal{"Excel4Stream",
                [] {
                    return record(0x0409, {0, 0, 0x10, 0});
                },
                "old Excel format"},
        Refusal{"NoWorkbookStream",
                [] {
                    return compoundFile({{"WordDocument", Bytes(5000)}});
                },
                "not an Excel 97-2003 workbook"},
        Refusal{"Text",
                [] {
                    return Bytes{'a', ',', 'b', '\n'};
                },
                "not an Excel 97-2003 workbook"},
        Refusal{"Xlsx", [] { return Bytes{'P', 'K', 3, 4, 20, 0}; }, ".xlsx"},
        Refusal{"TruncatedFile",
                [] {
                    Bytes bytes = workbookFile(oneSheet());
                    bytes.resize(700);
                    return bytes;
                },
                "damaged"},
        Refusal{"CyclicFat",
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
        Refusal{"RecordRunsPastStream",
                [] {
                    WorkbookPlan plan = oneSheet();
                    Bytes stream = workbookStream(plan);
                    stream.resize(stream.size() - 3);
                    return compoundFile({{"Workbook", stream}});
                },
                "damaged"},
        Refusal{"SharedTextIndexBeyondTable",
                [] {
                    WorkbookPlan plan;
                    plan.sst = sstRecord(1, xlString("only"));
                    plan.sheets.push_back({"Data", labelSstCell(0, 0, 5)});
                    return workbookFile(plan);
                },
                "sheet 'Data'"},
        Refusal{"CellBeyondLastColumn",
                [] {
                    WorkbookPlan plan;
                    plan.sheets.push_back({"Data", numberCell(0, 300, 1.0)});
                    return workbookFile(plan);
                },
                "damaged in sheet 'Data'"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

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

} // namespace
} // namespace veltrum::workbook
