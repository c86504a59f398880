// A data folder in a temporary directory and faked services, for building crt in virtual time.
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

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace veltrum::testing {

inline std::string fixture(const std::string& name) {
    return std::string(VELTRUM_SESSION_FIXTURES) + "/" + name + ".xls";
}

// The default folder: port 12345, subject B1 with the standard parameters, the main summary.
class SessionHarness {
public:
    SessionHarness() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrum-session-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_root = pattern;
        m_folder = m_root + "/Veltrum";
        std::filesystem::create_directories(m_folder + "/Parameters");
        std::filesystem::create_directories(m_folder + "/Results");
        std::filesystem::create_directories(m_folder + "/Images");
        writeFile("PortNumber.txt", "12345\r\n");
        writeFile("CurrentSchedule.txt", "B1\r\n");
        useSummary("summary_main");
        addParameters("B1", "params_standard");
    }
    ~SessionHarness() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    const std::string& folder() const { return m_folder; }
    void writeFile(const std::string& relative, const std::string& content) {
        std::ofstream(m_folder + "/" + relative, std::ios::binary) << content;
    }
    void removeFile(const std::string& relative) { std::filesystem::remove(m_folder + "/" + relative); }
    void useSummary(const std::string& fixtureName) {
        copy(fixture(fixtureName), m_folder + "/Results/Results_Summary.xls");
    }
    void addParameters(const std::string& subject, const std::string& fixtureName) {
        copy(fixture(fixtureName), m_folder + "/Parameters/" + subject + ".xls");
    }

    session::crt& window() {
        if (!m_window)
            m_window = std::make_unique<session::crt>(session::Services{
                scheduler, clock, dialogs, fileSystem, socket, ioCard, random, lifetime, m_folder});
        return *m_window;
    }
    // Builds the window and runs its start-up; throws what start-up throws.
    session::crt& load() {
        window().Form_Load();
        return *m_window;
    }

    // Workbooks read so far, as paths relative to the data folder.
    std::vector<std::string> workbookReads() const {
        std::vector<std::string> books;
        for (const std::string& path : fileSystem.reads())
            if (path.ends_with(".xls"))
                books.push_back(path.substr(m_folder.size() + 1));
        return books;
    }

    platform::VirtualScheduler scheduler;
    FakeClock clock{scheduler};
    ScriptedDialogs dialogs;
    DiskFileSystem fileSystem;
    FakeTabletSocket socket;
    RecordingIoCard ioCard{scheduler};
    SequenceRandom random;
    FakeProgramLifetime lifetime;

private:
    static void copy(const std::string& from, const std::string& to) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    }

    std::string m_root;
    std::string m_folder;
    std::unique_ptr<session::crt> m_window;
};

} // namespace veltrum::testing
