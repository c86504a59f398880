// Memory of a long session, row by row: the real main window model in virtual time on real files, a
// tablet pecking four times a second round the six positions, the console's model taking every event as
// in the program (and with --with-console its window drawing the session), and the allocator set up as
// the program sets it. Every 500 rows it prints the heap in use, the heap held and the resident memory.
// --heap-kept leaves the start-up's allocator set-up in force during the session, as the program did.
//   bench_session_memory [--with-console] [--heap-kept]
#include "ConsoleLoad.h"
#include "app/Allocator.h"
#include "platform/VirtualScheduler.h"
#include "session/crt.h"
#include "support/DiskFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeProgramLifetime.h"
#include "support/FakeTabletSocket.h"
#include "support/ScriptedDialogs.h"
#include "support/SequenceRandom.h"

#include <QApplication>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using namespace veltrum;

class QuietCard : public platform::IoCard {
public:
    std::int16_t portRead(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
    void portWrite(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
};

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

void printFigures(int rows) {
    const struct mallinfo2 heap = mallinfo2();
    std::printf("%6d %12.2f %12.2f %12.2f\n", rows,
                static_cast<double>(heap.uordblks + heap.hblkhd) / 1048576.0,
                static_cast<double>(heap.arena + heap.hblkhd) / 1048576.0, residentMegabytes());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bool withConsole = false;
    bool heapKept = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-console") == 0) {
            withConsole = true;
        } else if (std::strcmp(argv[i], "--heap-kept") == 0) {
            heapKept = true;
        } else {
            std::fprintf(stderr, "usage: bench_session_memory [--with-console] [--heap-kept]\n");
            return 2;
        }
    }
    app::keepLargeBlocksInTheHeap();
    if (withConsole && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application = withConsole
                                                        ? std::make_unique<QApplication>(argc, argv)
                                                        : std::make_unique<QCoreApplication>(argc, argv);
    QTemporaryDir folder;
    const std::string data = folder.path().toStdString() + "/Veltrum";
    std::filesystem::copy(VELTRUM_DEMO_DATA_DIR, data, std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(VELTRUM_LONG_SESSION_PARAMETERS, data + "/Parameters/P101.xls",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(data + "/CurrentSchedule.txt", std::ios::trunc) << "P102\r\nP103\r\nP101\r\n";

    platform::VirtualScheduler scheduler;
    testing::FakeClock clock{scheduler};
    testing::ScriptedDialogs dialogs;
    testing::DiskFileSystem fileSystem;
    testing::FakeTabletSocket socket;
    QuietCard card;
    testing::SequenceRandom random;
    testing::FakeProgramLifetime lifetime;
    session::crt model(
        session::Services{scheduler, clock, dialogs, fileSystem, socket, card, random, lifetime, data});
    model.Form_Load();
    console::ConsoleModel consoleModel([&model] { return model.snapshot(); });
    const auto subscription = model.events().subscribe(
        [&consoleModel](const engine::SessionEvent& event) { consoleModel.onEvent(event); });
    std::unique_ptr<bench::ConsoleLoad> window;
    if (withConsole)
        window = std::make_unique<bench::ConsoleLoad>(model.events(), [&model] { return model.snapshot(); });
    if (!heapKept)
        app::returnFreedBlocksOnceTheSessionStarts(model.events());
    int rows = 0;
    const auto counting = model.events().subscribe([&rows](const engine::SessionEvent& event) {
        if (event.kind == engine::SessionEventKind::RowCommitted)
            ++rows;
    });
    socket.tabletConnects(1);
    model.panel.Combo1.select(1);
    model.panel.Command1.click();
    forms::Int16 keyS = 'S';
    model.Form_KeyPress(keyS);

    std::printf("%6s %12s %12s %12s\n", "rows", "heap in use", "heap held", "RSS MB");
    printFigures(rows);
    int nextReport = 500;
    int position = 0;
    while (model.Form.isVisible()) {
        scheduler.advanceBy(250);
        socket.tabletSends(std::to_string(position % 6 + 1) + "\n");
        ++position;
        if (window) {
            window->renderNow();
            QCoreApplication::processEvents();
        }
        if (rows >= nextReport) {
            printFigures(rows);
            nextReport += 500;
        }
    }
    printFigures(rows);
    model.events().unsubscribe(counting);
    model.events().unsubscribe(subscription);
    return 0;
}
