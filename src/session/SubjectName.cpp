#include "SubjectName.h"

#include <string_view>

namespace veltrum::session {

std::optional<std::string> subjectNameProblem(const std::string& name) {
    if (name.empty())
        return "a subject name cannot be empty.";
    if (name.size() > 100)
        return "a subject name can have at most 100 characters.";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "a subject name cannot hold control characters (tabs, line ends and the like).";
        if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            return std::string("a subject name cannot hold the character ") + c +
                   ", which is not allowed in file names.";
    }
    if (name.find_first_not_of('.') == std::string::npos)
        return "a subject name cannot be made of dots only.";
    if (name.back() == '.' || name.back() == ' ' || name.front() == ' ')
        return "a subject name cannot begin with a space or end with a dot or a space.";
    return std::nullopt;
}

} // namespace veltrum::session
