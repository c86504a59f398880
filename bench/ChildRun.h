// Running a program as a child process for a benchmark: its wall time, its peak resident memory (from
// the kernel's accounting at exit) and what it printed.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

struct ChildRun {
    std::chrono::steady_clock::time_point started;
    double milliseconds = 0.0;
    double peakMegabytes = 0.0; // maximum resident set size
    int exitCode = -1;
    std::string output; // stdout, unless discarded
};

// Runs `argv` (argv[0] is the program's path); stdout is captured, or sent to /dev/null when
// `discardOutput`.
inline ChildRun runChild(const std::vector<std::string>& argv, bool discardOutput = false) {
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (discardOutput)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    ChildRun run;
    run.started = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    char buffer[4096];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(got));
    close(out[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    run.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - run.started).count();
    run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline double percentile(const std::vector<double>& sorted, double fraction) {
    return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5)];
}

} // namespace bench
