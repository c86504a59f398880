// Times start-up of the real veltrum executable, from spawning the process to the set-up panel first
// painted, on a data folder of 20 subjects and a 10,000-session summary workbook; prints median and p90
// against the target.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr double targetMs = 500.0;
constexpr int subjects = 20;

// The data folder: the demo's pictures, template and parameter workbook (one copy per subject), the
// 10,000-session summary workbook, and subjects P100..P119, who all have sessions in that workbook.
fs::path makeDataFolder(const fs::path& root) {
    const fs::path demo = VELTRUM_DEMO_DATA_DIR;
    const fs::path data = root / "Veltrum";
    fs::create_directories(data / "Parameters");
    fs::create_directories(data / "Results");
    fs::copy(demo / "Images", data / "Images", fs::copy_options::recursive);
    fs::copy_file(demo / "Results" / "Session_Template.xls", data / "Results" / "Session_Template.xls");
    fs::copy_file(VELTRUM_BENCH_SUMMARY, data / "Results" / "Results_Summary.xls");
    std::ofstream schedule(data / "CurrentSchedule.txt");
    for (int i = 0; i < subjects; ++i) {
        const std::string name = "P" + std::to_string(100 + i);
        schedule << name << "\r\n";
        fs::copy_file(demo / "Parameters" / "P101.xls", data / "Parameters" / (name + ".xls"));
    }
    // A port of its own, so a controller already running on this machine does not make start-up fail.
    std::ofstream(data / "PortNumber.txt") << 20000 + getpid() % 20000 << "\r\n";
    return data;
}

// One start: milliseconds from spawning to the panel's first paint, as the program reports it.
double timeOneStart(const fs::path& data) {
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = VELTRUM_EXECUTABLE;
    const std::string folder = data.string();
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("--data"),
                            const_cast<char*>(folder.c_str()), const_cast<char*>("--exit-when-shown"),
                            nullptr};

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + program);
    }
    std::string printed;
    char buffer[256];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, static_cast<std::size_t>(got));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);

    const std::string marker = "shown-at-steady-ns ";
    const auto at = printed.find(marker);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos)
        throw std::runtime_error("veltrum did not show its panel; it printed: " + printed);
    const long long shownNs = std::stoll(printed.substr(at + marker.size()));
    const long long startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    return static_cast<double>(shownNs - startNs) / 1e6;
}

double percentile(const std::vector<double>& sorted, double fraction) {
    return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5)];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    // Without a display the panel is painted offscreen, which still runs every step of start-up.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char pattern[] = "/tmp/veltrum-bench-startup-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("bench_startup: mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    int status = 0;
    try {
        const fs::path data = makeDataFolder(root);
        timeOneStart(data); // warms the file cache and the shared libraries; not counted
        std::vector<double> ms;
        for (int run = 0; run < runs; ++run)
            ms.push_back(timeOneStart(data));
        std::sort(ms.begin(), ms.end());
        std::printf("bench_startup: %d starts, %d subjects, 10,000-session summary workbook\n", runs,
                    subjects);
        std::printf("  median %.1f ms, p90 %.1f ms, max %.1f ms (target: median under %.0f ms)\n",
                    percentile(ms, 0.5), percentile(ms, 0.9), ms.back(), targetMs);
        std::printf("  %s\n", percentile(ms, 0.5) < targetMs ? "within target" : "OVER TARGET");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_startup: %s\n", failure.what());
        status = 1;
    }
    fs::remove_all(root);
    return status;
}
