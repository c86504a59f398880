// veltrum-hwcheck: tries the chamber's hardware on the card and port map veltrum would use.
#include "HardwareCheck.h"
#include "Terminal.h"
#include "Version.h"
#include "app/DataFolder.h"

#include "app/IoCardChoice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

namespace {

// The check's one time source: time since it started. Nothing is ever scheduled on it.
class SteadyClock : public veltrum::platform::Scheduler {
public:
    std::int64_t nowUs() const override {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                     m_start)
            .count();
    }
    TaskId scheduleAtUs(std::int64_t, std::function<void()>) override {
        throw std::logic_error("the hardware check schedules nothing");
    }
    void cancel(TaskId) override {}

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRUM_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Raises and lowers the hopper, switches the inter-trial output and shows the head-entry sensor on "
        "the card and port map veltrum would use. Reads keys from the terminal, or commands from standard "
        "input when it is not a terminal (ending at its end)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {QStringLiteral("data"),
         QStringLiteral("The data folder whose PortMap.txt is used (default: as veltrum's, Veltrum "
                        "beside the program if there is one, else in your home folder)."),
         QStringLiteral("DIR")});
    parser.addOption(
        {QStringLiteral("duration"), QStringLiteral("Quits after SECONDS."), QStringLiteral("SECONDS")});
    veltrum::app::addCardOptions(parser);
    parser.process(application);
    veltrum::app::CardOptions options;
    QString error = veltrum::app::readCardOptions(parser, options);
    bool durationNumber = true;
    const double duration = parser.isSet(QStringLiteral("duration"))
                                ? parser.value(QStringLiteral("duration")).toDouble(&durationNumber)
                                : 0;
    if (error.isEmpty() && (!durationNumber || duration < 0))
        error = QStringLiteral("--duration needs a number of seconds.");
    if (!error.isEmpty()) {
        std::fprintf(stderr, "veltrum-hwcheck: %s\n", qUtf8Printable(error));
        return 2;
    }
    const QString dataFolder =
        parser.isSet(QStringLiteral("data"))
            ? parser.value(QStringLiteral("data"))
            : veltrum::app::defaultDataFolder(veltrum::app::programFolder(), QDir::homePath());

    SteadyClock clock;
    try {
        const auto card = veltrum::app::makeIoCard(options, dataFolder, clock, "veltrum-hwcheck");
        std::cout << "veltrum-hwcheck on the " << qUtf8Printable(options.card) << " card\n"
                  << veltrum::tools::HardwareCheck::keys() << std::endl;
        veltrum::tools::HardwareCheck check(*card, clock, std::cout);
        veltrum::tools::Terminal terminal;
        check.start();
        const std::int64_t endMs = duration > 0 ? static_cast<std::int64_t>(duration * 1000) : -1;
        // The sensor is read every 10 ms, ten times as often as a session polls it, so the times shown
        // are those of the beam within a few milliseconds.
        for (;;) {
            const auto keys = terminal.waitForKeys(10);
            bool quit = !keys.has_value() && endMs < 0;
            for (const char key : keys.value_or(std::string()))
                quit = quit || !check.key(key);
            check.poll();
            if (quit || terminal.interrupted() || (endMs >= 0 && clock.nowMs() >= endMs))
                break;
        }
        check.finish();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "veltrum-hwcheck: %s\n", failure.what());
        return 1;
    }
    return 0;
}
