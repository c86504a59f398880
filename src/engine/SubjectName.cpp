#include "engine/SubjectName.h"

#include "engine/PrintableText.h"

namespace veltrum::engine {

std::optional<std::string> subjectNameProblem(std::string_view name) {
    if (name.empty())
        return "a subject name cannot be empty.";
    if (name.size() > MaxSubjectNameBytes)
        return "a subject name can have at most " + std::to_string(MaxSubjectNameBytes) +
               " characters (fewer with accented letters).";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "a subject name cannot hold control characters (tabs, line ends and the like).";
        if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            return std::string("a subject name cannot hold the character ") + c +
                   ", which is not allowed in file names.";
    }
    if (name.find_first_not_of('.') == std::string_view::npos)
        return "a subject name cannot be made of dots only.";
    if (name.front() == '.')
        return "a subject name cannot begin with a dot: its files would be hidden, among the program's own.";
    if (name.front() == '-')
        return "a subject name cannot begin with -: its files' names would read as options to a command.";
    if (name.back() == '.' || name.back() == ' ' || name.front() == ' ')
        return "a subject name cannot begin with a space or end with a dot or a space.";
    return std::nullopt;
}

std::optional<std::string> subjectNameRefusal(std::string_view name) {
    const std::optional<std::string> problem = subjectNameProblem(name);
    if (!problem)
        return std::nullopt;
    return "the subject \"" + printable(name) + "\" is refused: " + *problem +
           " Choose a name made of letters, digits, spaces, - or _ that begins with a letter or digit.";
}

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool sameSubjectIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

std::string foldedSubjectName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = lowerAscii(c);
    return folded;
}

} // namespace veltrum::engine
