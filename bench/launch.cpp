// SPDX-License-Identifier: GPL-3.0-or-later
// Starts one program and reports how long it ran and its peak memory, as a process
// of its own would see them.
//
//   cardomine_bench_launch REPORT PROGRAM [ARGUMENT...]
//
// A child's peak resident set (wait4's ru_maxrss, VmHWM) counts the pages of the
// process it was forked from until it execs, so a child started straight from a large
// process (the harness is a Qt Widgets program with data folders loaded) reports that
// process's size. This launcher is small and uses no Qt: the program it forks and
// execs reports only its own pages. It writes "PEAK_KIB MICROSECONDS STATUS" to REPORT
// and exits with the program's exit status (128 + the signal when it was killed).

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long nowMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: cardomine_bench_launch REPORT PROGRAM [ARGUMENT...]\n");
        return 125;
    }
    const long long start = nowMicros();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 125;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited = 0;
    do {
        waited = wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    const long long micros = nowMicros() - start;
    if (waited != pid) {
        std::perror("wait4");
        return 125;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE *report = std::fopen(argv[1], "w");
    if (!report)
        return 125;
    // ru_maxrss is in kibibytes on Linux.
    std::fprintf(report, "%ld %lld %d\n", usage.ru_maxrss, micros, code);
    if (std::fclose(report) != 0)
        return 125;
    return code;
}
