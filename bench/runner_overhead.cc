// What the command runner adds to starting a command: a trivial command
// run through send_command against the same shell started directly with
// posix_spawn and waitpid.  The two are measured alternately so that a
// change in the machine's load touches both alike.
//
// Usage: runner_overhead [runs]   (default 200)
// Last line: runner_overhead_ms=<median per call> spawn_ms=<median per call>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/runner.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    std::size_t middle = samples.size() / 2;
    return samples.size() % 2 != 0 ? samples[middle]
                                    : (samples[middle - 1] + samples[middle]) / 2;
}

/// One send_command of "true"; false when the runner reported anything.
bool timeRunner(std::vector<double>& samples) {
    auto start = Clock::now();
    pelo::send_command("true", pelo::stdOutBuf, pelo::stdOutBufSize, pelo::stdErrBuf,
                       pelo::stdErrBufSize);
    samples.push_back(millisecondsSince(start));
    return pelo::stdErrBuf[0] == '\0';
}

/// One "/usr/bin/sh -c true" started and waited for directly.
bool timeSpawn(std::vector<double>& samples) {
    char sh[] = "sh";
    char flag[] = "-c";
    char command[] = "true";
    char* argv[] = {sh, flag, command, nullptr};
    auto start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, "/usr/bin/sh", nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    bool ok = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    samples.push_back(millisecondsSince(start));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 200;
    if (runs <= 0)
        runs = 200;
    std::vector<double> runner;
    std::vector<double> spawn;
    std::vector<double> warmUp;
    for (int i = 0; i < 5; ++i)
        if (!timeRunner(warmUp) || !timeSpawn(warmUp)) {
            std::fprintf(stderr, "runner_overhead: the command could not be run\n");
            return 1;
        }
    for (int i = 0; i < runs; ++i)
        if (!timeRunner(runner) || !timeSpawn(spawn)) {
            std::fprintf(stderr, "runner_overhead: run %d failed\n", i);
            return 1;
        }
    std::printf("runs=%d runner_min_ms=%.3f spawn_min_ms=%.3f\n", runs,
                *std::min_element(runner.begin(), runner.end()),
                *std::min_element(spawn.begin(), spawn.end()));
    std::printf("runner_overhead_ms=%.2f spawn_ms=%.2f\n", median(runner), median(spawn));
    return 0;
}
