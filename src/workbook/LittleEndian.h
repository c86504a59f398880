// Little-endian integer and floating-point reads from raw bytes; callers check the bounds first.
#pragma once

#include <bit>
#include <cstdint>

namespace veltrum::workbook {

inline std::uint16_t readU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t readU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(readU32(p)) | (static_cast<std::uint64_t>(readU32(p + 4)) << 32);
}

inline double readDouble(const std::uint8_t* p) {
    return std::bit_cast<double>(readU64(p));
}

} // namespace veltrum::workbook
