// Checking a stimulus picture before a session depends on it: a Windows bitmap whose headers agree with
// each other and with the file's length, within a size a screen slot can sensibly show.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrum::session {

// Largest picture accepted, in pixels on each side.
constexpr int MaxPictureSide = 8192;

// Why the bytes are not a usable bitmap, or nullopt when they are one.
std::optional<std::string> bitmapProblem(std::string_view bytes);

} // namespace veltrum::session
