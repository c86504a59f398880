// Folders anyone may write (/tmp, /var/tmp, /run/lock): the recovery file and the card's lock never
// write through a link someone planted under the name they would take, and the rows are the owner's alone.
#include "devices/CardLock.h"
#include "records/RecoveryFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace veltrum::testing {
namespace {

namespace fs = std::filesystem;

struct SharedFolder {
    fs::path path;
    SharedFolder() {
        std::string pattern = (fs::temp_directory_path() / "veltrum-tmp-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
        ::chmod(path.c_str(), 01777);
    }
    ~SharedFolder() { fs::remove_all(path); }
};

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SharedTemporaryFolder, RecoveryFileTakesANameNoOneCouldPlantAndOnlyItsOwnerReads) {
    SharedFolder folder;
    const fs::path victim = folder.path / "victim";
    std::ofstream(victim) << "someone's own file";
    // Links planted under every name a predictable scheme would try.
    fs::create_symlink(victim, folder.path / "P101.4.rows-not-in-workbook.csv");
    fs::create_symlink(victim, folder.path / "P101.4.rows-not-in-workbook-2.csv");
    const std::vector<workbook::AppendRow> rows{{{"Trial", workbook::AppendValue::fromNumber(1)}}};

    const std::string written =
        records::writeRecoveryFile(rows, "P101.4.rows-not-in-workbook", {folder.path.string()});
    EXPECT_EQ(contents(victim), "someone's own file");
    EXPECT_FALSE(fs::is_symlink(written));
    EXPECT_EQ(contents(written), "Trial\r\n1\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(written.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(written,
              records::writeRecoveryFile(rows, "P101.4.rows-not-in-workbook", {folder.path.string()}));
}

TEST(SharedTemporaryFolder, CardLockRefusesALinkPlantedUnderItsName) {
    SharedFolder folder;
    const fs::path victim = folder.path / "victim";
    std::ofstream(victim) << "someone's own file";
    fs::create_symlink(victim, folder.path / "veltrum-card-simulated.lock");
    try {
        devices::CardLock lock("simulated", "veltrum", folder.path.string());
        FAIL() << "a lock was taken through a link";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("veltrum-card-simulated.lock"), std::string::npos);
    }
    EXPECT_EQ(contents(victim), "someone's own file");
}

} // namespace
} // namespace veltrum::testing
