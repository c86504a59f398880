// A data folder in a temporary directory, the nine platform services faked, and the main window built on
// them in virtual time, with the steps tests share: keys, virtual seconds, the session's end, its rows.
#pragma once

#include "session/crt.h"
#include "support/DiskFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeProgramLifetime.h"
#include "support/FakeTabletSocket.h"
#include "support/RecordingIoCard.h"
#include "support/ScriptedDialogs.h"
#include "support/SequenceRandom.h"

#include "platform/VirtualScheduler.h"
#include "workbook/Table.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace veltrum::testing {

// One data row as read back from a workbook, by header name.
using Row = std::map<std::string, workbook::Cell>;

class SessionFixture {
public:
    // The demo data folder (subjects P101, P102, P103), or an empty one with its three subfolders.
    enum class Folder { Demo, Empty };

    explicit SessionFixture(Folder from = Folder::Demo);
    virtual ~SessionFixture();
    SessionFixture(const SessionFixture&) = delete;
    SessionFixture& operator=(const SessionFixture&) = delete;

    const std::string& folder() const { return m_folder; }
    // Works on another fixture's data folder, as a second chamber sharing it (call before window()).
    void shareFolderOf(const SessionFixture& other) { m_folder = other.m_folder; }
    void writeFile(const std::string& relative, const std::string& content);
    void removeFile(const std::string& relative);
    // Copies a file into the data folder, replacing what is there.
    void copyIn(const std::string& source, const std::string& relative);

    // The window is built on this socket or card instead of the fake (call before window()).
    void useSocket(platform::TabletSocket& other) { m_socket = &other; }
    void useIoCard(platform::IoCard& other) { m_ioCard = &other; }
    session::Services services();
    // The main window, built on first use; each opening of the summary window is counted.
    session::crt& window();
    // The program ends without saving (as in a crash) and starts again on the same data folder.
    void restart();

    void press(char key);
    void run(double seconds);
    // Runs until the summary opens, at most `seconds`.
    void runToEnd(double seconds = 3600);
    double seconds() const { return static_cast<double>(scheduler.nowMs()) / 1000.0; }

    // The "Data" sheet of a session workbook, one Row per record.
    static std::vector<Row> readRows(const std::string& workbookPath);
    static std::string text(const Row& row, const std::string& column);
    static int number(const Row& row, const std::string& column);

    platform::VirtualScheduler scheduler;
    FakeClock clock{scheduler};
    ScriptedDialogs dialogs;
    DiskFileSystem fileSystem;
    FakeTabletSocket socket;
    RecordingIoCard ioCard{scheduler};
    SequenceRandom random;
    FakeProgramLifetime lifetime;
    int summaryOpenings = 0;
    // Where trial rows are committed; rows are committed within RecordTrial when none is set.
    records::CommitRunner* commitRunner = nullptr;
    // How often rows committed to the journal are brought into the workbook; 0: with every commit.
    std::int64_t rowsToWorkbookEveryMs = 0;
    // What the session keeps and where; the data folder's workbooks when none is set.
    records::SessionRecords* records = nullptr;

private:
    std::string m_root;
    std::string m_folder;
    platform::TabletSocket* m_socket = &socket;
    platform::IoCard* m_ioCard = &ioCard;
    std::unique_ptr<session::crt> m_window;
};

} // namespace veltrum::testing
