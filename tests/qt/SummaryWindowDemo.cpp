// Shows the summary window over a copy of the demo data folder, as at the end of a session, so it can be
// looked at and photographed. Usage: summary_window_demo [--comments]   (--comments presses C first)
#include "platform/LocalFileSystem.h"
#include "qt/Form1Window.h"
#include "qt/NullIoCard.h"
#include "qt/QtDialogs.h"
#include "qt/QtProgramLifetime.h"
#include "qt/QtScheduler.h"
#include "qt/SystemClock.h"
#include "qt/SystemRandom.h"
#include "session/Form1.h"
#include "session/crt.h"
#include "support/FakeTabletSocket.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    using namespace veltrum;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrum"));
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    std::filesystem::copy(VELTRUM_DEMO_DATA_DIR, folder.path().toStdString(),
                          std::filesystem::copy_options::recursive);

    qt::QtScheduler scheduler;
    qt::SystemClock clock;
    qt::QtDialogs dialogs;
    platform::LocalFileSystem fileSystem;
    testing::FakeTabletSocket socket; // listens, and no tablet ever comes
    qt::NullIoCard ioCard;
    qt::SystemRandom random;
    qt::QtProgramLifetime lifetime;
    const session::Services services{
        scheduler, clock, dialogs, fileSystem, socket, ioCard, random, lifetime, folder.path().toStdString()};
    try {
        session::crt main(services);
        main.Form_Load();
        session::Form1 form(main.endedSession(), services);
        qt::Form1Window window(form);
        dialogs.setParent(&window);
        form.Form_Load();
        window.showWindow();
        if (QApplication::arguments().contains(QStringLiteral("--comments"))) {
            forms::Int16 key = 'C';
            form.Form_KeyPress(key);
        }
        return QApplication::exec();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "summary_window_demo: %s\n", failure.what());
        return 1;
    }
}
