// Subject names become file names (parameter and session workbooks): only safe ones are accepted.
#pragma once

#include <optional>
#include <string>

namespace veltrum::session {

// Why `name` cannot name a subject's files, or nullopt when it can. Refused: empty names, names with
// "/" or "\", control characters, characters Windows forbids in file names (: * ? " < > |), names that
// are only dots or end in a dot or space, and names longer than 100 bytes.
std::optional<std::string> subjectNameProblem(const std::string& name);

} // namespace veltrum::session
