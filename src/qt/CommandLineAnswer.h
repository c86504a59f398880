// What a program answers on its command line before any window exists: an error, the help, the version.
#pragma once

#include "Version.h"

#include <QString>

#include <cstdio>
#include <optional>

namespace veltrum::qt {

// The exit status when the arguments were an error (2) or asked for the help or the version (0), having
// printed it; nullopt when the program should go on. helpText is the parser's, which names the program
// "<executable_name>" when no application object exists yet.
inline std::optional<int> answerCommandLine(const char* program, QString helpText, const QString& error,
                                            bool showHelp, bool showVersion) {
    helpText.replace(QStringLiteral("<executable_name>"), QString::fromLatin1(program));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s", qUtf8Printable(error), qUtf8Printable(helpText));
        return 2;
    }
    if (showHelp) {
        std::printf("%s", qUtf8Printable(helpText));
        return 0;
    }
    if (showVersion) {
        std::printf("%s %s\n", program, VELTRUM_VERSION);
        return 0;
    }
    return std::nullopt;
}

} // namespace veltrum::qt
