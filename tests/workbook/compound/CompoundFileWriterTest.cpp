// The compound file writer: every stream and directory entry read back as given, in 512- and
// 4096-byte sectors, with a DIFAT once the FAT outgrows the header, and no sector used twice or left over.
#include "AppendSupport.h"

#include "workbook/append/StructureCheck.h"
#include "workbook/compound/CompoundFile.h"
#include "workbook/compound/CompoundFileWriter.h"
#include "workbook/compound/CompoundImage.h"

#include <gtest/gtest.h>
#include <random>

namespace veltrum::workbook::test {
namespace {

struct Layout {
    int majorVersion;
    std::size_t workbookBytes; // size given to the Workbook stream
};

std::ostream& operator<<(std::ostream& out, const Layout& l) {
    return out << "v" << l.majorVersion << ", " << l.workbookBytes << " bytes";
}

class CompoundWriter : public ::testing::TestWithParam<Layout> {};

TEST_P(CompoundWriter, StreamsAndEntriesReadBackAndEverySectorIsUsedOnce) {
    const Layout layout = GetParam();
    const CompoundFile source(readBytes(fixtureFile("summary.xls")));
    CompoundImage image = CompoundImage::from(source);
    if (layout.majorVersion == 4) {
        image.majorVersion = 4;
        image.sectorSize = 4096;
        image.header[26] = 4;
    }
    // A header claiming another mini stream cutoff must not survive: the layout uses 4096.
    image.header[56] = 0;
    image.header[57] = 0x20;
    const std::uint32_t workbook = *source.findStream("Workbook");
    std::mt19937 random(7);
    image.streams[workbook].resize(layout.workbookBytes);
    for (auto& byte : image.streams[workbook])
        byte = static_cast<std::uint8_t>(random());

    const auto bytes = writeCompoundFile(image);

    EXPECT_EQ(checkCompoundSectors(bytes), std::vector<std::string>{});
    const CompoundFile written(bytes);
    EXPECT_EQ(written.majorVersion(), layout.majorVersion);
    EXPECT_EQ(written.sectorSize(), image.sectorSize);
    ASSERT_EQ(written.entries().size() % (image.sectorSize / 128), 0u);
    for (std::uint32_t id = 0; id < image.entries.size(); ++id) {
        EXPECT_TRUE(std::equal(image.entries[id].begin(), image.entries[id].begin() + 116,
                               written.entries()[id].raw.begin()))
            << "entry " << id;
        if (image.isStream[id]) {
            EXPECT_EQ(written.readStream(id), image.streams[id])
                << "stream " << written.entries()[id].utf8Name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CompoundWriter,
                         ::testing::Values(Layout{3, 0}, Layout{3, 100}, Layout{3, 4095}, Layout{3, 4096},
                                           Layout{3, 70000},
                                           // 110 FAT sectors and more: the DIFAT takes over from the header.
                                           Layout{3, 7500000}, Layout{4, 4095}, Layout{4, 4096},
                                           Layout{4, 300000}));

} // namespace
} // namespace veltrum::workbook::test
