#include "workbook/compound/CompoundImage.h"

#include "workbook/WorkbookError.h"
#include "workbook/compound/CompoundFile.h"

#include <algorithm>

namespace veltrum::workbook {

CompoundImage CompoundImage::from(const CompoundFile& file) {
    CompoundImage image;
    std::copy_n(file.header().begin(), 512, image.header.begin());
    image.majorVersion = file.majorVersion();
    image.sectorSize = file.sectorSize();
    const auto& entries = file.entries();
    image.streams.resize(entries.size());
    for (std::uint32_t id = 0; id < entries.size(); ++id) {
        image.entries.push_back(entries[id].raw);
        const bool stream = entries[id].type == EntryType::Stream;
        image.isStream.push_back(stream);
        if (stream)
            image.streams[id] = file.readStream(id);
    }
    return image;
}

CompoundImage CompoundImage::parse(std::vector<std::uint8_t> bytes, const std::string& displayName) {
    try {
        return from(CompoundFile(std::move(bytes)));
    } catch (const CompoundFileError& error) {
        if (error.reason() == CompoundFileError::Reason::NotCompoundFile)
            throw WorkbookError(displayName + ": not an Excel 97-2003 workbook");
        throw WorkbookError(displayName + ": the file is damaged (" + error.what() + ")");
    }
}

} // namespace veltrum::workbook
