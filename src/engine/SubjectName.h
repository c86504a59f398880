// What a subject name may hold. A subject's name becomes the name of its files (its parameter workbook,
// its session workbooks and pictures, and the program's own hidden files beside them), so one rule
// decides, wherever a name is read: the subject list, a name typed on the set-up panel, Start, and the
// history tool.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace veltrum::engine {

// The longest name, in bytes. The longest file made from it, a temporary file beside a session
// workbook (".<Subject>.<N>.xls.rollback" or ".<Subject>.<N>.xls.<16 hex digits>.tmp"), then stays far
// below the 255 bytes a file name may have.
constexpr std::size_t MaxSubjectNameBytes = 100;

// Why `name` cannot name a subject, or nullopt when it can. Refused: empty names; names longer than
// MaxSubjectNameBytes; "/" or "\"; control characters; characters Windows forbids in file names
// (: * ? " < > |); a leading "-" (the files' names would read as options to a command); a leading "."
// (hidden files, which is how the program's own files beside the workbooks are named; also "." and
// ".."); a leading space, a trailing dot or space.
std::optional<std::string> subjectNameProblem(std::string_view name);

// The operator's message for a refused name: the name shown escaped, the reason, what to choose instead;
// nullopt when the name can be used.
std::optional<std::string> subjectNameRefusal(std::string_view name);

// Whether two names would share their files on a folder that ignores case (a Windows or macOS share),
// and one subject's sessions in the summary, whose look-up compares subjects the same way. Only ASCII
// letters are folded, which is enough for the names labs give; two names that differ only in the case of
// another letter (É, é) are not caught.
bool sameSubjectIgnoringCase(std::string_view a, std::string_view b);
// The name with its ASCII letters in lower case: equal for two names exactly when
// sameSubjectIgnoringCase holds, for finding such names among many.
std::string foldedSubjectName(std::string_view name);

} // namespace veltrum::engine
