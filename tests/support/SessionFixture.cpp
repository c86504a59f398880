#include "SessionFixture.h"

#include "workbook/Workbook.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace veltrum::testing {

namespace fs = std::filesystem;

SessionFixture::SessionFixture(Folder from) {
    std::string pattern = (fs::temp_directory_path() / "veltrum-session-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_root = pattern;
    m_folder = m_root + "/Veltrum";
    if (from == Folder::Demo) {
        fs::copy(VELTRUM_DEMO_FOLDER, m_folder, fs::copy_options::recursive);
        return;
    }
    for (const char* sub : {"/Parameters", "/Results", "/Images"})
        fs::create_directories(m_folder + sub);
}

SessionFixture::~SessionFixture() {
    m_window.reset();
    // Tests may have taken the write permission away from a workbook.
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(m_root, ignored); !ignored && it != fs::end(it);
         it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_root, ignored);
}

void SessionFixture::writeFile(const std::string& relative, const std::string& content) {
    std::ofstream(m_folder + "/" + relative, std::ios::binary) << content;
}

void SessionFixture::removeFile(const std::string& relative) {
    fs::remove(m_folder + "/" + relative);
}

void SessionFixture::copyIn(const std::string& source, const std::string& relative) {
    fs::copy_file(source, m_folder + "/" + relative, fs::copy_options::overwrite_existing);
}

session::Services SessionFixture::services() {
    session::Services services{scheduler, clock,  dialogs,  fileSystem, *m_socket,
                               *m_ioCard, random, lifetime, m_folder};
    services.commitRunner = commitRunner;
    services.rowsToWorkbookEveryMs = rowsToWorkbookEveryMs;
    services.records = records;
    return services;
}

session::crt& SessionFixture::window() {
    if (!m_window) {
        m_window = std::make_unique<session::crt>(services());
        m_window->setSummaryWindowOpener([this] { ++summaryOpenings; });
    }
    return *m_window;
}

void SessionFixture::restart() {
    m_window.reset();
    socket = FakeTabletSocket();
    summaryOpenings = 0;
}

void SessionFixture::press(char key) {
    forms::Int16 code = static_cast<int>(key);
    window().Form_KeyPress(code);
}

void SessionFixture::run(double seconds) {
    scheduler.advanceBy(static_cast<std::int64_t>(seconds * 1000.0));
}

void SessionFixture::runToEnd(double seconds) {
    const std::int64_t until = scheduler.nowMs() + static_cast<std::int64_t>(seconds * 1000.0);
    while (summaryOpenings == 0 && scheduler.nowMs() < until)
        scheduler.advanceBy(100);
}

std::vector<Row> SessionFixture::readRows(const std::string& workbookPath) {
    const workbook::Workbook book = workbook::Workbook::open(workbookPath);
    const workbook::Table table(book, "Data");
    std::vector<Row> rows;
    for (int r = 0; r < table.recordCount(); ++r) {
        Row row;
        for (int c = 0; c < table.columnCount(); ++c)
            row[table.header()[static_cast<std::size_t>(c)]] = table.field(r, c);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string SessionFixture::text(const Row& row, const std::string& column) {
    return workbook::toDisplayText(row.at(column));
}

int SessionFixture::number(const Row& row, const std::string& column) {
    return static_cast<int>(row.at(column).number);
}

} // namespace veltrum::testing
