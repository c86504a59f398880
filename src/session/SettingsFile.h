// Reading the data folder's small text files (port, subject list, tablet address) safely: only a plain
// text file of modest size is read, and anything shown back to the operator is escaped and cut short.
#pragma once

#include "TextFields.h"
#include "engine/PrintableText.h"
#include "platform/FileSystem.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::session {

// The longest entry of a settings file; subject names are far shorter.
constexpr std::size_t MaxSettingsFieldLength = 200;

// The file's fields. Throws SetupError naming the file (and line) and saying what to do when it is not
// a regular file, is larger than 64 KiB, holds a NUL or other control character, or has an entry longer
// than MaxSettingsFieldLength. `what` names the file for the operator ("The port file").
std::vector<TextField> readSettingsFile(const platform::FileSystem& fileSystem, const std::string& path,
                                        const std::string& what);

// Text fit to be shown in a message (engine/PrintableText.h).
using engine::printable;

} // namespace veltrum::session
