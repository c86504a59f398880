// veltrum-export: a data folder's sessions as tidy tables for analysis (trials.csv, sessions.csv and
// optionally an SQLite database), brought up to date with what changed since the last export.
#include "Version.h"
#include "export/Exporter.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

namespace {

using namespace veltrum::exporting;

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitSomeFilesNotRead = 3;

const char* const Usage = "usage: veltrum-export [--data DIR] --out DIR [--sqlite FILE]\n"
                          "       veltrum-export --help | --version\n";

const char* const Help =
    "Writes the trial rows of every session workbook and recovery file in the data folder's Results, and\n"
    "the summary's records, as two tables: OUT/trials.csv and OUT/sessions.csv (and, with --sqlite, the\n"
    "tables \"trials\" and \"sessions\" of an SQLite database). Nothing in the data folder is written.\n"
    "Run again, it reads only the files that changed and says what it added.\n"
    "\n"
    "  --data DIR     the data folder (default: ~/Veltrum)\n"
    "  --out DIR      the folder for the tables (made when it is not there)\n"
    "  --sqlite FILE  also the tables in this SQLite database (made when it is not there)\n"
    "\n"
    "Exit status: 0 every file read; 3 the tables written, but some files were skipped or left for the\n"
    "next export (each named on standard error); 1 no table written, or the database not brought up to\n"
    "date; 2 a command line not understood.\n"
    "See man veltrum-export.\n";

// The progress line on a terminal: the files gone through, redrawn at most ten times a second.
class ProgressLine {
public:
    ProgressLine()
        : m_shown(isatty(STDERR_FILENO) == 1) {}
    void operator()(std::size_t done, std::size_t total) {
        if (!m_shown || total < 50)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        std::fprintf(stderr, "\rveltrum-export: %zu of %zu files (%zu%%)  ", done, total, done * 100 / total);
        std::fflush(stderr);
        m_drawn = true;
    }
    void clear() {
        if (m_drawn)
            std::fprintf(stderr, "\r%60s\r", "");
        m_drawn = false;
    }

private:
    bool m_shown;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
};

std::string plural(long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void printChanges(const ExportReport& report) {
    constexpr std::size_t Listed = 50; // an export after months names its first changes, then counts
    std::size_t shown = 0;
    auto line = [&shown](const std::string& text) {
        if (shown++ < Listed)
            std::printf("  %s\n", text.c_str());
    };
    for (const SourceChange& change : report.added)
        line("added   " + change.file + ": " + plural(change.rows, "row", "rows"));
    for (const SourceChange& change : report.changed)
        line("changed " + change.file + ": " + plural(change.rows, "row", "rows") + " (was " +
             std::to_string(change.rowsBefore) + ")");
    for (const std::string& file : report.removed)
        line("removed " + file);
    if (shown > Listed)
        std::printf("  and %zu more\n", shown - Listed);
}

void printReport(const ExportReport& report, const std::string& out, const std::string& database) {
    long addedRows = 0;
    for (const SourceChange& change : report.added)
        addedRows += change.rows;
    long changedRows = 0;
    for (const SourceChange& change : report.changed)
        changedRows += change.rows - change.rowsBefore;
    if (report.fromScratch) {
        std::printf("Exported %s: %s to %s/trials.csv.\n",
                    plural(static_cast<long>(report.sources), "file", "files").c_str(),
                    plural(report.trialRows, "trial row", "trial rows").c_str(), out.c_str());
    } else if (!report.trialsWritten) {
        std::printf("No session file changed since the last export: %s in %s/trials.csv.\n",
                    plural(report.trialRows, "trial row", "trial rows").c_str(), out.c_str());
    } else {
        std::printf("Added %s (%s), changed %s (%+ld rows), removed %s: %s in %s/trials.csv.\n",
                    plural(static_cast<long>(report.added.size()), "file", "files").c_str(),
                    plural(addedRows, "row", "rows").c_str(),
                    plural(static_cast<long>(report.changed.size()), "file", "files").c_str(), changedRows,
                    plural(static_cast<long>(report.removed.size()), "file", "files").c_str(),
                    plural(report.trialRows, "trial row", "trial rows").c_str(), out.c_str());
        printChanges(report);
    }
    if (report.sessionsWritten && report.sessionRowsBefore >= 0)
        std::printf("%s in %s/sessions.csv (%+ld).\n",
                    plural(report.sessionRows, "session", "sessions").c_str(), out.c_str(),
                    report.sessionRows - report.sessionRowsBefore);
    else if (report.sessionsWritten)
        std::printf("%s to %s/sessions.csv.\n", plural(report.sessionRows, "session", "sessions").c_str(),
                    out.c_str());
    else
        std::printf("The summary did not change: %s in %s/sessions.csv.\n",
                    plural(report.sessionRows, "session", "sessions").c_str(), out.c_str());
    if (!database.empty() && report.databaseFailure.empty())
        std::printf("%s: %s loaded.\n", database.c_str(),
                    plural(static_cast<long>(report.databaseSourcesLoaded), "file", "files").c_str());
    if (!report.databaseFailure.empty())
        std::fprintf(stderr, "veltrum-export: the database was not updated: %s\n",
                     report.databaseFailure.c_str());
    for (const std::string& skipped : report.skipped)
        std::fprintf(stderr, "veltrum-export: skipped %s\n", skipped.c_str());
    for (const std::string& later : report.leftForLater)
        std::fprintf(stderr, "veltrum-export: left for the next export: %s\n", later.c_str());
    for (const std::string& note : report.notes)
        std::fprintf(stderr, "veltrum-export: note: %s\n", note.c_str());
}

} // namespace

int main(int argc, char** argv) {
    ExportOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            std::fputs("\n", stdout);
            std::fputs(Help, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("veltrum-export %s\n", VELTRUM_VERSION);
            return 0;
        }
        if (arg == "--data" && hasValue)
            options.dataFolder = argv[++i];
        else if (arg == "--out" && hasValue)
            options.outFolder = argv[++i];
        else if (arg == "--sqlite" && hasValue)
            options.databaseFile = argv[++i];
        else {
            std::fprintf(stderr, "veltrum-export: %s %s\n%s",
                         hasValue || arg.starts_with("--") ? "not understood:" : "", argv[i], Usage);
            return ExitUsage;
        }
    }
    if (options.outFolder.empty()) {
        std::fprintf(stderr, "veltrum-export: --out DIR is needed\n%s", Usage);
        return ExitUsage;
    }
    if (options.dataFolder.empty()) {
        const char* home = std::getenv("HOME");
        options.dataFolder = std::string(home ? home : ".") + "/Veltrum";
    }
    ProgressLine progress;
    options.progress = [&progress](std::size_t done, std::size_t total) { progress(done, total); };
    try {
        const ExportReport report = exportTables(options);
        progress.clear();
        printReport(report, options.outFolder, options.databaseFile);
        if (!report.databaseFailure.empty())
            return ExitFailed;
        return report.skipped.empty() && report.leftForLater.empty() ? 0 : ExitSomeFilesNotRead;
    } catch (const std::exception& error) {
        progress.clear();
        std::fprintf(stderr, "veltrum-export: %s\n", error.what());
        return ExitFailed;
    }
}
