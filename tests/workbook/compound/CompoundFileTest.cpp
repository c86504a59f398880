#include "workbook/compound/CompoundFile.h"

#include "WorkbookBytes.h"

#include <gtest/gtest.h>

namespace veltrum::workbook {
namespace {

using namespace testing;

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return out;
}

class CompoundFileVersions : public ::testing::TestWithParam<int> {};

TEST_P(CompoundFileVersions, ReadsRegularAndMiniStreamsByNameWithoutRegardToCase) {
    const Bytes big = pattern(9000, 1);
    const Bytes small = pattern(700, 2);
    const CompoundFile file(compoundFile({{"Workbook", big}, {"\x05SummaryInformation", small}}, GetParam()));

    EXPECT_EQ(file.sectorSize(), GetParam() == 4 ? 4096u : 512u);
    EXPECT_EQ(file.miniStreamCutoff(), 4096u);
    const auto workbook = file.findStream("WORKBOOK");
    const auto summary = file.findStream("\x05summaryinformation");
    ASSERT_TRUE(workbook && summary);
    EXPECT_EQ(file.readStream(*workbook), big);
    EXPECT_FALSE(file.isInMiniStream(*workbook));
    EXPECT_EQ(file.readStream(*summary), small);
    EXPECT_TRUE(file.isInMiniStream(*summary));
    EXPECT_EQ(file.entries()[*summary].parent, 0u);
    EXPECT_FALSE(file.findStream("Book"));
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, CompoundFileVersions, ::testing::Values(3, 4));

TEST(CompoundFile, FollowsTheAllocationTableIndexBeyondTheHeadersFatSectors) {
    // 110 FAT sectors of 512 bytes cover about 7 MB; the 110th is listed in an index sector.
    const Bytes big = pattern(7'300'000, 3);
    const CompoundFile file(compoundFile({{"Workbook", big}}));
    EXPECT_EQ(file.readStream(*file.findStream("Workbook")), big);
}

TEST(CompoundFile, KeepsEachDirectoryEntrysStoredBytes) {
    Layout layout;
    const Bytes bytes = compoundFile({{"Workbook", pattern(5000, 4)}}, 3, &layout);
    const CompoundFile file(bytes);
    const DirectoryEntry& entry = file.entries()[1];
    EXPECT_TRUE(
        std::equal(entry.raw.begin(), entry.raw.end(), bytes.begin() + layout.directoryEntryOffset(1)));
    EXPECT_EQ(entry.utf8Name, "Workbook");
    EXPECT_EQ(entry.size, 5000u);
}

struct Damage {
    const char* name;
    void (*apply)(Bytes& bytes, const Layout& layout);
};

class DamagedCompoundFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedCompoundFile, IsRefusedAsDamaged) {
    Layout layout;
    Bytes bytes = compoundFile({{"Workbook", pattern(6000, 5)}, {"Small", pattern(300, 6)}}, 3, &layout);
    GetParam().apply(bytes, layout);
    try {
        const CompoundFile file(bytes);
        for (std::uint32_t id = 1; id < file.entries().size(); ++id) {
            if (file.entries()[id].type == EntryType::Stream)
                file.readStream(id);
        }
        FAIL() << "damage went unnoticed";
    } catch (const CompoundFileError& error) {
        EXPECT_EQ(error.reason(), CompoundFileError::Reason::Damaged) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chains, DamagedCompoundFile,
    ::testing::Values(
        Damage{"CyclicFatChain",
               [](Bytes& b, const Layout& l) {
                   patchU32(b, l.fatEntryOffset(l.streamStart[0] + 5), l.streamStart[0]);
               }},
        Damage{"FatChainBeyondFile",
               [](Bytes& b, const Layout& l) { patchU32(b, l.fatEntryOffset(l.streamStart[0] + 2), 90000); }},
        Damage{"CyclicMiniFatChain",
               [](Bytes& b, const Layout& l) {
                   patchU32(b, l.miniFatEntryOffset(l.streamStart[1] + 2), l.streamStart[1]);
               }},
        Damage{"DirectoryCycle",
               [](Bytes& b, const Layout& l) { patchU32(b, l.directoryEntryOffset(2) + 0x48, 1); }},
        Damage{"DirectoryLinkBeyondEntries",
               [](Bytes& b, const Layout& l) { patchU32(b, l.directoryEntryOffset(1) + 0x44, 4000); }},
        Damage{"StreamSizeBeyondChain",
               [](Bytes& b, const Layout& l) { patchU32(b, l.directoryEntryOffset(1) + 0x78, 6000 + 2048); }},
        Damage{"StreamSizeBeyondFile",
               [](Bytes& b, const Layout& l) { patchU32(b, l.directoryEntryOffset(1) + 0x78, 0x7FFFFFFF); }},
        Damage{"ChainRunsIntoAnotherStream",
               [](Bytes& b, const Layout& l) {
                   patchU32(b, l.fatEntryOffset(l.miniFatStart), l.streamStart[0]);
               }},
        Damage{"FatLargerThanFile", [](Bytes& b, const Layout&) { patchU32(b, 0x2C, 0x00800000); }},
        Damage{"Truncated", [](Bytes& b, const Layout&) { b.resize(b.size() / 2); }}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(CompoundFile, TellsOtherContentFromDamage) {
    try {
        CompoundFile file(Bytes{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0});
        FAIL();
    } catch (const CompoundFileError& error) {
        EXPECT_EQ(error.reason(), CompoundFileError::Reason::NotCompoundFile);
    }
}

} // namespace
} // namespace veltrum::workbook
