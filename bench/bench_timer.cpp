// Real-time accuracy of the window timers on the production scheduler: a 1000 ms timer and a 60000 ms
// minute timer run side by side for N seconds (default 65); prints tick lengths, lateness against the
// ideal schedule and the drift accumulated by the end, against a p99 target of 2 ms and no drift.
// With --with-console the run is made twice, without and then with the operator's console open and
// drawing a stand-in session that pecks 20 times a second, and the two are printed side by side.
// With --load N, N CPU-bound processes run beside it, and the run is made with normal scheduling and
// then with real-time scheduling (where permitted), printed side by side.
//   bench_timer [--seconds N] [--with-console] [--load N]
#include "ConsoleLoad.h"
#include "platform/Timer.h"
#include "qt/QtScheduler.h"

#include <QApplication>
#include <QTimer>

#include <memory>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

constexpr double p99TargetMs = 2.0;

double msBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())) - 1);
    return values[std::min(index, values.size() - 1)];
}

// Tick times of one timer measured on the steady clock from the moment it was enabled.
struct TickLog {
    std::int32_t intervalMs;
    Steady::time_point enabledAt;
    std::vector<Steady::time_point> ticks;

    // Milliseconds each tick came after its ideal moment (enabling + k intervals).
    std::vector<double> lateness() const {
        std::vector<double> result;
        for (std::size_t k = 0; k < ticks.size(); ++k)
            result.push_back(msBetween(enabledAt, ticks[k]) -
                             static_cast<double>(intervalMs) * double(k + 1));
        return result;
    }
};

struct Options {
    int seconds = 65;
    bool withConsole = false;
    int load = 0;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    int& seconds = options.seconds;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--with-console") == 0) {
            options.withConsole = true;
        } else if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc) {
            options.load = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_timer [--seconds N] [--with-console] [--load N]\n");
            std::exit(2);
        }
    }
    if (seconds < 2) {
        std::fprintf(stderr, "bench_timer: --seconds needs at least 2\n");
        std::exit(2);
    }
    return options;
}

struct Figures {
    double p99Error = 0;
    double maxError = 0;
    double medianLate = 0;
    double p99Late = 0;
    double drift = 0;
    std::size_t ticks = 0;
    bool ok = false;
    int consoleRenders = 0;
    double fastMedianLate = 0; // the 100 ms timer
    double fastP99Late = 0;
    double fastMaxLate = 0;
};

Figures measure(int seconds, QCoreApplication& application) {
    veltrum::qt::QtScheduler scheduler;
    veltrum::platform::Timer second(scheduler, "second", 1000);
    veltrum::platform::Timer minute(scheduler, "minute", 60000);
    // The head-entry sensor's 100 ms timer beside them, for ten times as many ticks to judge lateness by.
    veltrum::platform::Timer fast(scheduler, "fast", 100);
    TickLog fastLog{100, {}, {}};
    fast.setOnTick([&] { fastLog.ticks.push_back(Steady::now()); });
    TickLog secondLog{1000, {}, {}};
    TickLog minuteLog{60000, {}, {}};
    second.setOnTick([&] { secondLog.ticks.push_back(Steady::now()); });
    minute.setOnTick([&] { minuteLog.ticks.push_back(Steady::now()); });

    std::printf("bench_timer: 1000 ms and 60000 ms timers for %d s on the production scheduler\n", seconds);
    std::fflush(stdout);
    QTimer::singleShot(0, [&] {
        secondLog.enabledAt = minuteLog.enabledAt = fastLog.enabledAt = Steady::now();
        second.setEnabled(true);
        minute.setEnabled(true);
        fast.setEnabled(true);
        // A little past the last whole second so the final tick is in.
        QTimer::singleShot(seconds * 1000 + 300, Qt::PreciseTimer, &application, [&] {
            second.setEnabled(false);
            minute.setEnabled(false);
            fast.setEnabled(false);
            QCoreApplication::quit();
        });
    });
    QCoreApplication::exec();

    std::vector<double> lengths;
    for (std::size_t k = 0; k < secondLog.ticks.size(); ++k)
        lengths.push_back(
            msBetween(k == 0 ? secondLog.enabledAt : secondLog.ticks[k - 1], secondLog.ticks[k]));
    std::vector<double> lengthErrors;
    for (const double length : lengths)
        lengthErrors.push_back(std::fabs(length - 1000.0));
    const std::vector<double> late = secondLog.lateness();
    std::vector<double> lateAbs;
    for (const double value : late)
        lateAbs.push_back(std::fabs(value));

    std::printf("1000 ms ticks: %zu (expected %d)\n", secondLog.ticks.size(), seconds);
    std::printf("  tick length ms: median %.3f, p99 error %.3f, max error %.3f\n", percentile(lengths, 0.5),
                percentile(lengthErrors, 0.99), percentile(lengthErrors, 1.0));
    const auto offTarget = std::count_if(lengthErrors.begin(), lengthErrors.end(),
                                         [](double error) { return error > p99TargetMs; });
    std::printf("  ticks more than %.1f ms off 1000 ms: %td of %zu\n", p99TargetMs, offTarget,
                lengthErrors.size());
    std::printf("  lateness against the ideal schedule ms: median %.3f, p99 %.3f, max %.3f\n",
                percentile(late, 0.5), percentile(lateAbs, 0.99), percentile(lateAbs, 1.0));
    const double secondDrift = late.empty() ? 0.0 : late.back();
    const double firstLate = late.empty() ? 0.0 : late.front();
    std::printf(
        "  cumulative drift of the 1000 ms timer over the run: %.3f ms (first tick %.3f ms late, last "
        "%.3f ms late)\n",
        secondDrift - firstLate, firstLate, secondDrift);
    std::vector<double> fastLate = fastLog.lateness();
    for (double& value : fastLate)
        value = std::fabs(value);
    std::printf("100 ms ticks: %zu; lateness ms: median %.3f, p99 %.3f, max %.3f\n", fastLog.ticks.size(),
                percentile(fastLate, 0.5), percentile(fastLate, 0.99), percentile(fastLate, 1.0));
    const std::vector<double> minuteLate = minuteLog.lateness();
    if (minuteLate.empty()) {
        std::printf("60000 ms ticks: none (run at least 60 s to measure the minute clock)\n");
    } else {
        std::printf("60000 ms ticks: %zu; cumulative drift of the minute clock: %.3f ms (last tick)\n",
                    minuteLate.size(), minuteLate.back());
    }
    const double p99 = percentile(lengthErrors, 0.99);
    // Drift is judged on the ideal schedule: a timer without drift stays within its jitter of it.
    const double drift =
        std::max(std::fabs(secondDrift), minuteLate.empty() ? 0.0 : std::fabs(minuteLate.back()));
    const bool ok =
        p99 <= p99TargetMs && drift <= p99TargetMs && secondLog.ticks.size() >= std::size_t(seconds);
    std::printf("target: p99 error <= %.1f ms and no cumulative drift: %s\n", p99TargetMs,
                ok ? "met" : "NOT met");
    return {p99,
            percentile(lengthErrors, 1.0),
            percentile(late, 0.5),
            percentile(lateAbs, 0.99),
            drift,
            secondLog.ticks.size(),
            ok,
            0,
            percentile(fastLate, 0.5),
            percentile(fastLate, 0.99),
            percentile(fastLate, 1.0)};
}

} // namespace

// Figures of several runs side by side, one column per run.
void printSideBySide(const std::vector<std::pair<std::string, Figures>>& runs, int seconds) {
    std::printf("\n%-44s", "1000 ms timer");
    for (const auto& [label, figures] : runs)
        std::printf(" %16s", label.c_str());
    const auto row = [&](const char* name, auto value) {
        std::printf("\n%-44s", name);
        for (const auto& run : runs)
            std::printf(" %16.3f", static_cast<double>(value(run.second)));
    };
    row("ticks", [](const Figures& f) { return f.ticks; });
    row("tick length p99 error, ms", [](const Figures& f) { return f.p99Error; });
    row("tick length max error, ms", [](const Figures& f) { return f.maxError; });
    row("lateness median, ms (target <= 0.5)", [](const Figures& f) { return f.medianLate; });
    row("lateness p99, ms (target <= 1, loaded <= 2)", [](const Figures& f) { return f.p99Late; });
    row("drift, ms", [](const Figures& f) { return f.drift; });
    row("100 ms timer lateness median, ms", [](const Figures& f) { return f.fastMedianLate; });
    row("100 ms timer lateness p99, ms", [](const Figures& f) { return f.fastP99Late; });
    row("100 ms timer lateness max, ms", [](const Figures& f) { return f.fastMaxLate; });
    row("console repaints per second", [&](const Figures& f) { return f.consoleRenders / double(seconds); });
    std::printf("\n%-44s", "tick length and drift target met");
    for (const auto& run : runs)
        std::printf(" %16s", run.second.ok ? "yes" : "NO");
    std::printf("\n");
}

// Processes that keep a CPU busy until killed.
std::vector<pid_t> startLoad(int processes) {
    std::vector<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (child > 0)
            children.push_back(child);
    }
    return children;
}

void stopLoad(const std::vector<pid_t>& children) {
    for (const pid_t child : children) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

bool setRealTime(bool on) {
    sched_param parameters{};
    parameters.sched_priority = on ? 20 : 0;
    return ::pthread_setschedparam(::pthread_self(), on ? SCHED_FIFO : SCHED_OTHER, &parameters) == 0;
}

int runUnderLoad(const Options& options, int argc, char** argv) {
    const std::vector<pid_t> load = startLoad(options.load);
    QCoreApplication application(argc, argv);
    std::printf("--- %d CPU-bound processes beside it, normal scheduling\n", options.load);
    const Figures normal = measure(options.seconds, application);
    const bool permitted = setRealTime(true);
    std::printf("--- the same, real-time scheduling (SCHED_FIFO 20)%s\n",
                permitted ? "" : ": NOT permitted here, normal scheduling again");
    const Figures realTime = measure(options.seconds, application);
    setRealTime(false);
    stopLoad(load);
    printSideBySide({{"loaded", normal}, {permitted ? "loaded, RT" : "loaded, no RT", realTime}},
                    options.seconds);
    const bool met = realTime.ok && std::max(realTime.p99Late, realTime.fastP99Late) <= 2.0;
    std::printf("target under load: lateness p99 <= 2 ms%s: %s\n",
                permitted ? " with real-time scheduling" : "", met ? "met" : "NOT met");
    return met ? 0 : 1;
}

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.load > 0)
        return runUnderLoad(options, argc, argv);
    if (!options.withConsole) {
        QCoreApplication application(argc, argv);
        const Figures figures = measure(options.seconds, application);
        const bool met = figures.ok && std::max(figures.medianLate, figures.fastMedianLate) <= 0.5 &&
                         std::max(figures.p99Late, figures.fastP99Late) <= 1.0;
        std::printf("target without load: lateness median <= 0.5 ms and p99 <= 1 ms: %s\n",
                    met ? "met" : "NOT met");
        return met ? 0 : 1;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::printf("--- without the console\n");
    const Figures without = measure(options.seconds, application);
    std::printf("--- with the console open, drawing a session that pecks 20 times a second\n");
    veltrum::bench::StandInSession session;
    veltrum::bench::ConsoleLoad console(session.events(), [&session] { return session.snapshot(); });
    Figures with = measure(options.seconds, application);
    with.consoleRenders = console.renders();
    printSideBySide({{"without", without}, {"with console", with}}, options.seconds);
    return without.ok && with.ok ? 0 : 1;
}
