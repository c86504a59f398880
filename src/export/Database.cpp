#include "export/Database.h"

#include "export/Columns.h"
#include "export/Csv.h"
#include "export/SourceName.h"
#include "export/SourceRows.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace veltrum::exporting {

namespace {

constexpr const char* MadeBy = "veltrum-export 1";

class Connection {
public:
    explicit Connection(const std::string& path)
        : m_path(path) {
        const int opened = sqlite3_open_v2(
            path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
        if (opened != SQLITE_OK)
            fail("cannot open it");
        sqlite3_busy_timeout(m_db, 2000);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return m_db; }
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error(m_path + ": " + what + ": " +
                                 (m_db ? sqlite3_errmsg(m_db) : "out of memory"));
    }
    void run(const std::string& sql) const {
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail("cannot update it");
    }

private:
    std::string m_path;
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(const Connection& connection, const std::string& sql)
        : m_connection(connection) {
        if (sqlite3_prepare_v2(connection.get(), sql.c_str(), -1, &m_statement, nullptr) != SQLITE_OK)
            connection.fail("cannot update it");
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return m_statement; }
    void text(int at, const std::string& value) {
        sqlite3_bind_text(m_statement, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    void integer(int at, sqlite3_int64 value) { sqlite3_bind_int64(m_statement, at, value); }
    // Runs to completion; true when it gave a row (then call it again for the next).
    bool step() {
        const int result = sqlite3_step(m_statement);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            m_connection.fail("cannot update it");
        sqlite3_reset(m_statement);
        return false;
    }
    void done() {
        while (step()) {
        }
    }

private:
    const Connection& m_connection;
    sqlite3_stmt* m_statement = nullptr;
};

std::string quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

const char* sqlType(ValueType type) {
    switch (type) {
    case ValueType::Integer:
        return "INTEGER";
    case ValueType::Real:
        return "REAL";
    default:
        return "TEXT";
    }
}

std::string columnList(std::span<const Column> columns, bool withTypes) {
    std::string list;
    for (const Column& column : columns) {
        if (!list.empty())
            list += ", ";
        list += quoted(column.name);
        if (withTypes)
            list += std::string(" ") + sqlType(column.type);
    }
    return list;
}

std::string insertInto(const char* table, std::span<const Column> columns) {
    std::string values;
    for (std::size_t i = 0; i < columns.size(); ++i)
        values += i ? ",?" : "?";
    return std::string("INSERT INTO ") + table + " (" + columnList(columns, false) + ") VALUES (" + values +
           ")";
}

void makeSchema(const Connection& db) {
    db.run("CREATE TABLE export_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
           "INSERT INTO export_meta VALUES ('made_by', '" +
           std::string(MadeBy) +
           "');"
           "CREATE TABLE export_sources (source_file TEXT PRIMARY KEY, subject TEXT NOT NULL, "
           "session INTEGER NOT NULL, state TEXT NOT NULL);"
           "CREATE TABLE trials (" +
           columnList(trialColumns(), true) +
           ", PRIMARY KEY (subject, session, source_file, \"row\")) WITHOUT ROWID;"
           "CREATE TABLE sessions (" +
           columnList(sessionColumns(), true) +
           ");"
           "CREATE UNIQUE INDEX sessions_by_session ON sessions (subject, session, \"row\");");
}

// The database's own check that it is an export's: either empty, or holding its mark.
bool isOurs(const Connection& db, bool& empty) {
    Statement tables(db, "SELECT count(*) FROM sqlite_schema");
    tables.step();
    empty = sqlite3_column_int(tables.get(), 0) == 0;
    tables.done();
    if (empty)
        return true;
    Statement mark(db, "SELECT count(*) FROM sqlite_schema WHERE name = 'export_meta'");
    mark.step();
    const bool hasMark = sqlite3_column_int(mark.get(), 0) == 1;
    mark.done();
    if (!hasMark)
        return false;
    Statement madeBy(db, "SELECT value FROM export_meta WHERE key = 'made_by'");
    const bool found = madeBy.step() && reinterpret_cast<const char*>(sqlite3_column_text(madeBy.get(), 0)) ==
                                            std::string(MadeBy);
    if (found)
        madeBy.done();
    return found;
}

// Binds the fields of one line: empty as NULL, numbers as numbers.
void bindLine(Statement& insert, std::span<const Column> columns, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int at = static_cast<int>(i) + 1;
        const std::string& field = i < fields.size() ? fields[i] : std::string();
        if (field.empty()) {
            sqlite3_bind_null(insert.get(), at);
            continue;
        }
        const char* end = field.data() + field.size();
        if (columns[i].type == ValueType::Integer) {
            sqlite3_int64 whole = 0;
            if (const auto parsed = std::from_chars(field.data(), end, whole); parsed.ptr == end) {
                sqlite3_bind_int64(insert.get(), at, whole);
                continue;
            }
        }
        if (columns[i].type == ValueType::Integer || columns[i].type == ValueType::Real) {
            double number = 0.0;
            if (const auto parsed = std::from_chars(field.data(), end, number); parsed.ptr == end) {
                sqlite3_bind_double(insert.get(), at, number);
                continue;
            }
        }
        insert.text(at, field);
    }
}

// The lines of `length` bytes at `offset` of the table `fd`, each inserted.
long insertLines(int fd, std::uint64_t offset, std::uint64_t length, Statement& insert,
                 std::span<const Column> columns, const std::string& tableName) {
    std::string bytes(length, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw std::runtime_error(
                "cannot read " + tableName +
                " back: " + (got == 0 ? std::string("it is shorter than written") : std::strerror(errno)));
        done += static_cast<std::size_t>(got);
    }
    std::string_view rest = bytes;
    std::vector<std::string> fields;
    long rows = 0;
    while (readCsvRecord(rest, fields)) {
        bindLine(insert, columns, fields);
        insert.done();
        ++rows;
    }
    return rows;
}

std::string stateOf(const FileKey& key, const std::string& extra) {
    return std::to_string(key.device) + ":" + std::to_string(key.inode) + ":" + std::to_string(key.size) +
           ":" + std::to_string(key.modifiedNs) + ":" + extra;
}

int openTable(int folderFd, const char* name) {
    const int fd = openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot read ") + name + " back: " + std::strerror(errno));
    return fd;
}

struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
};

} // namespace

void checkDatabase(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return; // made by the export
    if (!S_ISREG(status.st_mode))
        throw std::runtime_error(path + ": not a regular file (a link is not followed)");
    const Connection db(path);
    bool empty = false;
    if (!isOurs(db, empty))
        throw std::runtime_error(path + ": a database that an export did not make; give a new file");
}

DatabaseUpdate updateDatabase(const std::string& path, const ExportIndex& index, int outFolderFd,
                              const std::function<void(std::size_t done, std::size_t total)>& progress) {
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        throw std::runtime_error(path + ": not a regular file (a link is not followed)");
    DatabaseUpdate update;
    const Connection db(path);
    // A write-ahead log: an update that loads one session commits with one sync, not a rollback journal's
    // several; the database stays whole whatever happens to the program.
    db.run("PRAGMA cache_size = -16384; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
    db.run("BEGIN IMMEDIATE");
    bool empty = false;
    if (!isOurs(db, empty))
        throw std::runtime_error(path + ": a database that an export did not make; give a new file");
    if (empty)
        makeSchema(db);

    const Closer trials{openTable(outFolderFd, "trials.csv")};
    const Closer sessions{openTable(outFolderFd, "sessions.csv")};

    // What the database holds now, by source.
    struct Held {
        std::string subject;
        sqlite3_int64 session;
        std::string state;
    };
    std::map<std::string, Held> held;
    {
        Statement list(db, "SELECT source_file, subject, session, state FROM export_sources");
        while (list.step())
            held[reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0))] = {
                reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 1)),
                sqlite3_column_int64(list.get(), 2),
                reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 3))};
    }
    Statement removeRows(db, "DELETE FROM trials WHERE subject = ? AND session = ? AND source_file = ?");
    Statement removeSource(db, "DELETE FROM export_sources WHERE source_file = ?");
    Statement addSource(db, "INSERT INTO export_sources VALUES (?, ?, ?, ?)");
    Statement insertTrial(db, insertInto("trials", trialColumns()));
    auto forget = [&](const std::string& file, const Held& was) {
        removeRows.text(1, was.subject);
        removeRows.integer(2, was.session);
        removeRows.text(3, file);
        removeRows.done();
        removeSource.text(1, file);
        removeSource.done();
    };

    for (const auto& [file, was] : held) {
        if (file != "Results/Results_Summary.xls" && !index.sources.contains(file)) {
            forget(file, was);
            ++update.sourcesRemoved;
        }
    }
    std::size_t done = 0;
    for (const auto& [file, source] : index.sources) {
        if (progress && done++ % 256 == 0)
            progress(done, index.sources.size());
        const std::string state = stateOf(source.key, std::to_string(static_cast<int>(source.kind)));
        const auto found = held.find(file);
        if (found != held.end() && found->second.state == state)
            continue;
        if (found != held.end())
            forget(file, found->second);
        insertLines(trials.fd, source.offset, source.length, insertTrial, trialColumns(), "trials.csv");
        const SourceName name = parseSourceName(file.substr(file.rfind('/') + 1));
        addSource.text(1, file);
        addSource.text(2, name.subject);
        addSource.integer(3, name.session);
        addSource.text(4, state);
        addSource.done();
        ++update.sourcesLoaded;
    }

    // The sessions: loaded again whole when the summary changed.
    const std::string summaryState = stateOf(index.summary, std::to_string(index.sessionRows));
    const auto summary = held.find("Results/Results_Summary.xls");
    if (summary == held.end() || summary->second.state != summaryState) {
        db.run("DELETE FROM sessions; DELETE FROM export_sources WHERE source_file = "
               "'Results/Results_Summary.xls'");
        Statement insertSession(db, insertInto("sessions", sessionColumns()));
        const std::uint64_t header = sessionHeaderLine().size();
        struct stat table {};
        fstat(sessions.fd, &table);
        insertLines(sessions.fd, header, static_cast<std::uint64_t>(table.st_size) - header, insertSession,
                    sessionColumns(), "sessions.csv");
        addSource.text(1, "Results/Results_Summary.xls");
        addSource.text(2, "");
        addSource.integer(3, 0);
        addSource.text(4, summaryState);
        addSource.done();
        update.sessionsLoaded = true;
    }
    db.run("COMMIT");
    return update;
}

} // namespace veltrum::exporting
