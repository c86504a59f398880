// An empty data folder filled from this folder's fixture workbooks, for building crt in virtual time.
#pragma once

#include "support/SessionFixture.h"

#include <string>
#include <vector>

namespace veltrum::testing {

inline std::string fixture(const std::string& name) {
    return std::string(VELTRUM_SESSION_FIXTURES) + "/" + name + ".xls";
}

// The default folder: port 12345, subject B1 with the standard parameters, the main summary.
class SessionHarness : public SessionFixture {
public:
    SessionHarness()
        : SessionFixture(Folder::Empty) {
        writeFile("PortNumber.txt", "12345\r\n");
        writeFile("CurrentSchedule.txt", "B1\r\n");
        useSummary("summary_main");
        addParameters("B1", "params_standard");
    }

    void useSummary(const std::string& fixtureName) {
        copyIn(fixture(fixtureName), "Results/Results_Summary.xls");
    }
    void addParameters(const std::string& subject, const std::string& fixtureName) {
        copyIn(fixture(fixtureName), "Parameters/" + subject + ".xls");
    }
    // Builds the window and runs its start-up; throws what start-up throws.
    session::crt& load() {
        window().Form_Load();
        return window();
    }

    // Workbooks read so far, as paths relative to the data folder.
    std::vector<std::string> workbookReads() const {
        std::vector<std::string> books;
        for (const std::string& path : fileSystem.reads())
            if (path.ends_with(".xls"))
                books.push_back(path.substr(folder().size() + 1));
        return books;
    }
};

} // namespace veltrum::testing
