// Data folders for the export's script tests, written with the program's own writers.
//   export_fixture make DIR          a data folder with saved, not-saved, discarded and live-named session
//                                    workbooks, recovery files in Results and in the folder itself, a summary
//   export_fixture append-live FILE SUBJECT SESSION COUNT
//                                    appends COUNT rows one at a time in place, as a running session does
#include "export/ResultsFolder.h"

#include "workbook/Appender.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

using namespace veltrum;

namespace {

void makeFolder(const std::string& data) {
    testing::ResultsFolder folder(data);
    folder.addSession("S001", 1, 1, 10);
    folder.addSession("S001", 2, 2, 20);
    folder.addSession("S001", 3, 3, 5);
    folder.addSession("Bird.A", 1, 4, 7); // a subject with a dot in its name
    folder.addSession("P,Q \"x\"", 12, 2, 3);
    folder.saveSummary();
    // An earlier run of session 2 that ended without its summary record, and a discarded session 4.
    folder.addWorkbook("S001.2.not-saved.xls", testing::trialRows("S001", 2, 2, 4));
    folder.addWorkbook("S001.4.discarded.xls", testing::trialRows("S001", 4, 3, 3));
    // Rows that could not reach the workbook of session 3: in Results, and in the data folder itself.
    folder.addRecoveryFile(folder.results(), "S001.3.rows-not-in-workbook.csv",
                           testing::trialRows("S001", 3, 3, 2));
    folder.addRecoveryFile(data, "S001.3.rows-not-in-workbook-2.csv", testing::trialRows("S001", 3, 3, 1));
    // What the program leaves beside its workbooks and the export passes over in silence.
    testing::writeNewFile(folder.results() + "/S001.1.png", "\x89PNG\r\n\x1a\n");
    testing::writeNewFile(folder.results() + "/.S001.3.xls.rollback.claim", "");
}

void appendLive(const std::string& path, const std::string& subject, int session, int count) {
    for (const workbook::AppendRow& row : testing::trialRows(subject, session, 2, count))
        workbook::appendRecordsInPlace(path, "Data", {row});
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "make" && argc == 3) {
            makeFolder(argv[2]);
            return 0;
        }
        if (command == "append-live" && argc == 6) {
            appendLive(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
            return 0;
        }
        std::fprintf(stderr, "usage: export_fixture make DIR | append-live FILE SUBJECT SESSION COUNT\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "export_fixture: %s\n", error.what());
        return 1;
    }
}
