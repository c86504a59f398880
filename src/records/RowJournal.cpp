#include "records/RowJournal.h"

#include "platform/SafeFile.h"
#include "workbook/Table.h"
#include "workbook/Workbook.h"
#include "workbook/commit/DurableFile.h"
#include "workbook/commit/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::records {

using workbook::syncFolder;

namespace {

constexpr const char* journalMark = "veltrum-journal 1 ";

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
}

void escapeInto(std::string& out, const std::string& text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case ':':
            out += "\\c";
            break;
        default:
            out += c;
        }
    }
}

bool unescape(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 'c':
            out += ':';
            break;
        default:
            return false;
        }
    }
    return true;
}

constexpr std::string_view kindLetters = "ENTDHW"; // in ValueKind's order

std::size_t dataRows(const std::string& workbookPath) {
    const workbook::Workbook book = workbook::Workbook::open(workbookPath);
    return static_cast<std::size_t>(workbook::Table(book, "Data").recordCount());
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The whole journal, read without following a link; a journal is small, a huge file is refused.
std::string readJournal(const std::string& journal) {
    const platform::FileDescriptor in = platform::openRegularFile(journal, O_RDONLY);
    struct stat info {};
    if (::fstat(in.get(), &info) != 0)
        fail(journal, "cannot read the journal");
    if (static_cast<std::uintmax_t>(info.st_size) > workbook::MaxWorkbookBytes)
        throw std::runtime_error(journal + " is too large to be a journal of trial rows.");
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(in.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(journal, "cannot read the journal");
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

// "<Subject>.<N>" of a session workbook's name, or nothing when the name is not made that way.
std::optional<std::pair<std::string, double>> sessionOfName(const std::string& workbookPath) {
    const std::size_t slash = workbookPath.rfind('/');
    std::string name = workbookPath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (!name.ends_with(".xls"))
        return std::nullopt;
    name.resize(name.size() - 4);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() ||
        name.find_first_not_of("0123456789", dot + 1) != std::string::npos || name.size() - dot > 6)
        return std::nullopt;
    return std::make_pair(name.substr(0, dot), std::stod(name.substr(dot + 1)));
}

// The subject and session of the first row that belongs to another session than the workbook's name
// says ("P102, session 4"), or "" when every row is the workbook's own.
std::string rowOfAnotherSession(const std::string& workbookPath,
                                const std::vector<workbook::AppendRow>& rows) {
    const auto own = sessionOfName(workbookPath);
    if (!own)
        return {};
    for (const workbook::AppendRow& row : rows) {
        std::string subject = own->first;
        double session = own->second;
        for (const workbook::AppendField& field : row) {
            if (field.header == "Subject")
                subject = field.value.text;
            else if (field.header == "Session")
                session = field.value.number;
        }
        if (subject != own->first || session != own->second) {
            char number[32];
            std::snprintf(number, sizeof number, "%g", session);
            return subject + ", session " + number;
        }
    }
    return {};
}

} // namespace

std::string journalPathFor(const std::string& workbookPath) {
    const std::size_t slash = workbookPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : workbookPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? workbookPath : workbookPath.substr(slash + 1);
    return folder + "." + name + ".journal";
}

std::string toJournalLine(const workbook::AppendRow& row) {
    std::string line;
    for (const workbook::AppendField& field : row) {
        if (!line.empty())
            line += '\t';
        line += kindLetters[static_cast<int>(field.value.kind)];
        line += ':';
        escapeInto(line, field.header);
        line += ':';
        if (field.value.kind == workbook::ValueKind::Text) {
            escapeInto(line, field.value.text);
        } else if (field.value.kind != workbook::ValueKind::Empty) {
            char number[32];
            std::snprintf(number, sizeof number, "%.17g", field.value.number);
            line += number;
        }
    }
    return line;
}

bool fromJournalLine(const std::string& line, workbook::AppendRow& row) {
    row.clear();
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find('\t', start);
        if (end == std::string::npos)
            end = line.size();
        const std::string field = line.substr(start, end - start);
        const std::size_t second = field.find(':', 2);
        if (field.size() < 3 || field[1] != ':' || second == std::string::npos)
            return false;
        const std::size_t kind = kindLetters.find(field[0]);
        if (kind == std::string_view::npos)
            return false;
        workbook::AppendField out;
        out.value.kind = static_cast<workbook::ValueKind>(kind);
        if (!unescape(field.substr(2, second - 2), out.header))
            return false;
        const std::string value = field.substr(second + 1);
        if (out.value.kind == workbook::ValueKind::Text) {
            if (!unescape(value, out.value.text))
                return false;
        } else if (out.value.kind != workbook::ValueKind::Empty) {
            char* stop = nullptr;
            out.value.number = std::strtod(value.c_str(), &stop);
            if (value.empty() || *stop != '\0')
                return false;
        }
        row.push_back(std::move(out));
        start = end + 1;
    }
    return !row.empty();
}

JournalledRowSink::JournalledRowSink(std::string workbookPath)
    : m_workbook(std::move(workbookPath))
    , m_journal(journalPathFor(m_workbook)) {}

JournalledRowSink::~JournalledRowSink() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void JournalledRowSink::openJournal() {
    // A journal left by an earlier run of this workbook is brought in first, so this one starts afresh.
    const JournalRecovery earlier = recoverJournal(m_workbook);
    if (!earlier.problem.empty())
        throw std::runtime_error(earlier.problem);
    const std::string header = journalMark + std::to_string(dataRows(m_workbook)) + "\n";
    m_fd = ::open(m_journal.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_fd < 0)
        fail(m_journal, "cannot create the journal");
    // Until the folder holds the journal durably, no row written to it may be reported committed.
    if (!writeAll(m_fd, header) || ::fsync(m_fd) != 0 || !syncFolder(m_journal)) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_journal.c_str());
        errno = error;
        fail(m_journal, "cannot write the journal");
    }
}

void JournalledRowSink::append(const std::vector<workbook::AppendRow>& rows) {
    if (m_fd < 0)
        openJournal();
    std::string lines;
    for (const workbook::AppendRow& row : rows)
        lines += toJournalLine(row) + "\n";
    const off_t before = ::lseek(m_fd, 0, SEEK_END);
    if (!writeAll(m_fd, lines) || ::fdatasync(m_fd) != 0) {
        const int error = errno;
        // A torn tail would run into the next rows' line: the journal goes back to its last whole row.
        if (before >= 0 && ::ftruncate(m_fd, before) == 0)
            ::fdatasync(m_fd);
        errno = error;
        fail(m_journal, "cannot write the journal");
    }
    m_behind.insert(m_behind.end(), rows.begin(), rows.end());
    m_behindCount = m_behind.size();
}

void JournalledRowSink::flush(bool last) {
    if (!m_behind.empty()) {
        workbook::appendRecordsInPlace(m_workbook, "Data", m_behind);
        m_behind.clear();
        m_behindCount = 0;
    }
    if (last && m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_journal.c_str());
        syncFolder(m_journal);
    }
}

std::vector<workbook::AppendRow> JournalledRowSink::takeBehind() {
    // The rows now live wherever the caller put them (a recovery file): the journal must not bring them
    // into the workbook a second time at the next start.
    std::vector<workbook::AppendRow> rows = std::move(m_behind);
    m_behind.clear();
    m_behindCount = 0;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_journal.c_str());
        syncFolder(m_journal);
    }
    return rows;
}

JournalRecovery recoverJournal(const std::string& workbookPath) {
    JournalRecovery result;
    const std::string journal = journalPathFor(workbookPath);
    struct stat info {};
    if (::lstat(journal.c_str(), &info) != 0)
        return result;
    result.workbook = workbookPath;
    // Only a regular file is read: a link would bring another file's lines into the workbook.
    if (!S_ISREG(info.st_mode)) {
        result.problem = journal + " is " + platform::nonRegularKind(journal) +
                         ", not a journal this program wrote; it was left alone and nothing was added to " +
                         workbookPath + ".";
        return result;
    }
    std::string text;
    try {
        text = readJournal(journal);
    } catch (const std::exception& error) {
        result.problem = std::string(error.what()) + " The journal was left alone.";
        return result;
    }
    const std::size_t firstEnd = text.find('\n');
    if (text.rfind(journalMark, 0) != 0 || firstEnd == std::string::npos) {
        // A journal whose first line never reached the disk holds no committed row.
        if (text.size() < std::strlen(journalMark) + 2 && std::string(journalMark).rfind(text, 0) == 0) {
            ::unlink(journal.c_str());
            return result;
        }
        result.problem = journal + " is not a journal of trial rows; it was left alone.";
        return result;
    }
    const std::size_t base = std::strtoull(text.c_str() + std::strlen(journalMark), nullptr, 10);
    std::vector<workbook::AppendRow> rows;
    for (std::size_t start = firstEnd + 1; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break; // a torn last line: never reported committed
        workbook::AppendRow row;
        if (!fromJournalLine(text.substr(start, end - start), row)) {
            result.problem = journal + ": line " + std::to_string(rows.size() + 2) +
                             " is not a trial row; the journal was left alone.";
            return result;
        }
        rows.push_back(std::move(row));
        start = end + 1;
    }
    if (::lstat(workbookPath.c_str(), &info) != 0) {
        result.problem = "The journal " + journal + " holds trial rows of " + workbookPath +
                         ", which is not there any more. Its rows are text, one per line: keep the journal "
                         "elsewhere, then start again.";
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.problem = workbookPath + " is " + platform::nonRegularKind(workbookPath) +
                         ", not a session workbook; its journal " + journal +
                         " was not applied, and both were left alone.";
        return result;
    }
    if (const std::string stranger = rowOfAnotherSession(workbookPath, rows); !stranger.empty()) {
        result.problem = "The journal " + journal + " holds a row of " + stranger + ", not of " +
                         workbookPath + "; it was not applied, and both were left alone.";
        return result;
    }
    try {
        // An append cut short leaves the workbook half-written until it is rolled back; the rows it held
        // are still in the journal.
        workbook::rollBackInterruptedAppend(workbookPath);
        const std::size_t held = dataRows(workbookPath);
        if (held < base || held - base > rows.size()) {
            result.problem = workbookPath + " holds " + std::to_string(held) + " rows, which its journal " +
                             journal + " does not explain (" + std::to_string(base) + " before it, " +
                             std::to_string(rows.size()) + " in it); both were left alone.";
            return result;
        }
        const std::vector<workbook::AppendRow> missing(
            rows.begin() + static_cast<std::ptrdiff_t>(held - base), rows.end());
        if (!missing.empty())
            workbook::appendRecordsInPlace(workbookPath, "Data", missing);
        result.rowsAdded = missing.size();
    } catch (const std::exception& error) {
        result.problem = error.what();
        return result;
    }
    ::unlink(journal.c_str());
    syncFolder(journal);
    return result;
}

std::vector<JournalRecovery> recoverJournals(const std::string& folder,
                                             const std::function<bool(const std::string&)>& skip) {
    std::vector<JournalRecovery> results;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return results;
    std::vector<std::string> workbooks;
    std::vector<std::string> interrupted; // in-place appends cut short
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        for (const std::string_view suffix : {std::string_view(".journal"), std::string_view(".rollback")}) {
            if (name.size() > suffix.size() + 5 && name[0] == '.' && name.ends_with(suffix) &&
                name.substr(name.size() - suffix.size() - 4, 4) == ".xls")
                (suffix == ".journal" ? workbooks : interrupted)
                    .push_back(folder + "/" + name.substr(1, name.size() - 1 - suffix.size()));
        }
    }
    ::closedir(dir);
    if (skip) {
        std::erase_if(workbooks, skip);
        std::erase_if(interrupted, skip);
    }
    for (const std::string& workbookPath : workbooks)
        results.push_back(recoverJournal(workbookPath));
    // One whose rows went elsewhere (its row journal gone) is still rolled back, so it reads whole.
    for (const std::string& workbookPath : interrupted) {
        try {
            workbook::rollBackInterruptedAppend(workbookPath);
        } catch (const std::exception& error) {
            results.push_back({workbookPath, 0, error.what()});
        }
    }
    return results;
}

} // namespace veltrum::records
