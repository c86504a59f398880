#include "BitmapCheck.h"

#include <cstdint>
#include <cstdlib>

namespace veltrum::session {

namespace {

std::uint32_t read32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

std::uint16_t read16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

constexpr std::size_t FileHeaderSize = 14;

} // namespace

std::optional<std::string> bitmapProblem(std::string_view bytes) {
    if (bytes.size() < FileHeaderSize + 12 || bytes.substr(0, 2) != "BM")
        return "it is not a bitmap (.bmp) file";
    const std::uint32_t pixelOffset = read32(bytes, 10);
    const std::uint32_t headerSize = read32(bytes, FileHeaderSize);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint64_t paletteEntries = 0;
    std::uint32_t paletteEntrySize = 4;
    if (headerSize == 12) {
        width = read16(bytes, FileHeaderSize + 4);
        height = read16(bytes, FileHeaderSize + 6);
        if (read16(bytes, FileHeaderSize + 8) != 1)
            return "its header is damaged (plane count is not 1)";
        bitsPerPixel = read16(bytes, FileHeaderSize + 10);
        paletteEntrySize = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
               headerSize == 108 || headerSize == 124) {
        if (bytes.size() < FileHeaderSize + 40)
            return "the file ends inside its header";
        width = static_cast<std::int32_t>(read32(bytes, FileHeaderSize + 4));
        height = static_cast<std::int32_t>(read32(bytes, FileHeaderSize + 8));
        if (read16(bytes, FileHeaderSize + 12) != 1)
            return "its header is damaged (plane count is not 1)";
        bitsPerPixel = read16(bytes, FileHeaderSize + 14);
        compression = read32(bytes, FileHeaderSize + 16);
        paletteEntries = read32(bytes, FileHeaderSize + 32);
    } else {
        return "its header is damaged or of an unknown kind";
    }
    height = std::llabs(height);
    if (width <= 0 || height <= 0)
        return "its header gives no picture size";
    if (width > MaxPictureSide || height > MaxPictureSide)
        return "it is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; at most " +
               std::to_string(MaxPictureSide) + " x " + std::to_string(MaxPictureSide) + " can be shown";
    const bool knownDepth = bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ||
                            bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    if (!knownDepth)
        return "its colour depth of " + std::to_string(bitsPerPixel) + " bits is not one a bitmap has";
    if (bitsPerPixel <= 8 && paletteEntries == 0)
        paletteEntries = std::uint64_t{1} << bitsPerPixel;
    if (paletteEntries > 256)
        return "its colour table is damaged";
    const std::uint64_t headersEnd = FileHeaderSize + headerSize +
                                     (compression == 3 && headerSize == 40 ? 12 : 0) +
                                     (bitsPerPixel <= 8 ? paletteEntries * paletteEntrySize : 0);
    if (pixelOffset < FileHeaderSize + headerSize || pixelOffset > bytes.size() || headersEnd > bytes.size())
        return "its pixels lie outside the file";
    // 0: plain rows; 3 and 6: plain rows with bit masks; 1 and 2: run-length coded (8 and 4 bits).
    if (compression == 0 || compression == 3 || compression == 6) {
        const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32) * 4;
        if (pixelOffset + rowBytes * static_cast<std::uint64_t>(height) > bytes.size())
            return "the file is shorter than its pixels (it was cut off)";
    } else if (!((compression == 1 && bitsPerPixel == 8) || (compression == 2 && bitsPerPixel == 4))) {
        return "it is stored in a compression a bitmap slot cannot show";
    } else if (pixelOffset >= bytes.size()) {
        return "it holds no pixels";
    }
    return std::nullopt;
}

} // namespace veltrum::session
