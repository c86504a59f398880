// Real-time accuracy of the window timers on the production scheduler: a 1000 ms timer and a 60000 ms
// minute timer run side by side for N seconds (default 65); prints tick lengths, lateness against the
// ideal schedule and the drift accumulated by the end, against a p99 target of 2 ms and no drift.
//   bench_timer [--seconds N]
#include "platform/Timer.h"
#include "qt/QtScheduler.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int parseSeconds(int argc, char** argv) {
    int seconds = 65;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_timer [--seconds N]\n");
            std::exit(2);
        }
    }
    if (seconds < 2) {
        std::fprintf(stderr, "bench_timer: --seconds needs at least 2\n");
        std::exit(2);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = parseSeconds(argc, argv);
    QCoreApplication application(argc, argv);
    veltrum::qt::QtScheduler scheduler;
    veltrum::platform::Timer second(scheduler, "second", 1000);
    veltrum::platform::Timer minute(scheduler, "minute", 60000);
    TickLog secondLog{1000, {}, {}};
    TickLog minuteLog{60000, {}, {}};
    second.setOnTick([&] { secondLog.ticks.push_back(Steady::now()); });
    minute.setOnTick([&] { minuteLog.ticks.push_back(Steady::now()); });

    std::printf("bench_timer: 1000 ms and 60000 ms timers for %d s on the production scheduler\n", seconds);
    std::fflush(stdout);
    QTimer::singleShot(0, [&] {
        secondLog.enabledAt = minuteLog.enabledAt = Steady::now();
        second.setEnabled(true);
        minute.setEnabled(true);
        // A little past the last whole second so the final tick is in.
        QTimer::singleShot(seconds * 1000 + 300, Qt::PreciseTimer, &application, [&] {
            second.setEnabled(false);
            minute.setEnabled(false);
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
    return ok ? 0 : 1;
}
