#include "tablet/TabletApplication.h"

#include "qt/CommandLineAnswer.h"
#include "tablet/AutoPecker.h"
#include "tablet/TabletLink.h"
#include "tablet/TabletOptions.h"
#include "tablet/TabletWindow.h"

#include "Version.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace veltrum::tablet {

std::optional<int> answerWithoutWindows(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const TabletOptions options = parseTabletOptions(arguments);
    return qt::answerCommandLine("veltrum-tablet", options.helpText, options.error, options.showHelp,
                                 options.showVersion);
}

int runTablet(const QStringList& arguments) {
    QCoreApplication::setApplicationName(QStringLiteral("veltrum-tablet"));
    const TabletOptions options = parseTabletOptions(arguments);
    if (const std::optional<int> status = qt::answerCommandLine(
            "veltrum-tablet", options.helpText, options.error, options.showHelp, options.showVersion))
        return *status;

    TabletWindow window(options.imageFolder);
    TabletLink link(options.host, static_cast<quint16>(options.port), options.logFile);
    std::unique_ptr<AutoPecker> pecker;
    if (options.autoPeckRate > 0) {
        pecker = std::make_unique<AutoPecker>(options.autoPeckRate, options.accuracy, options.seed);
        pecker->setOnPeck([&window](int position) { window.touch(position); });
    }
    window.setOnTouch([&link](int position) { link.sendTouch(position); });
    link.setOnDisplay([&window, &pecker](const Display& display) {
        window.showDisplay(display);
        if (pecker)
            pecker->showDisplay(display);
    });
    link.setOnConnectionChanged([&window](bool connected) { window.setConnected(connected); });
    window.show();
    link.start();
    return QApplication::exec();
}

} // namespace veltrum::tablet
