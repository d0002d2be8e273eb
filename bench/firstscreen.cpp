// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a terminal program on a pseudo-terminal of 80 x 24 and quits it as soon as a
// text appears on its screen: a terminal program's start-up to its first screen.
//
//   cardomine_bench_firstscreen TEXT PROGRAM [ARGUMENT...]
//
// Exit status 0 when TEXT was seen (the program is then ended with SIGTERM), 1 when
// the program ended or 60 s passed first.

#include <pty.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: cardomine_bench_firstscreen TEXT PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const std::string wanted = argv[1];
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid < 0) {
        std::perror("forkpty");
        return 2;
    }
    if (pid == 0) {
        setenv("TERM", "xterm", 1);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    std::string screen;
    bool seen = false;
    char buffer[65536];
    for (;;) {
        pollfd p{terminal, POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0)
            break;
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
        screen.append(buffer, std::size_t(got));
        if (screen.find(wanted) != std::string::npos) {
            seen = true;
            break;
        }
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    if (!seen)
        std::fprintf(stderr, "\"%s\" not seen on the screen\n", wanted.c_str());
    return seen ? 0 : 1;
}
