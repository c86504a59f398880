// Text that came from a file or the operator, made fit to be shown back in a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrum::engine {

// Control characters and bytes that are not UTF-8 written as \xNN, cut after `limit` characters with
// "..." and the full length.
std::string printable(std::string_view text, std::size_t limit = 40);

} // namespace veltrum::engine
