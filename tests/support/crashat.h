// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/faults.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

namespace cardomine::testing {

// Runs act in a child process whose file operation number k stops it as a crash (or a
// write cut short) would, and waits for it. True when the child ended there; false when
// act finished, threw or the child could not be made, so the caller's check fails.
template <typename Act> bool crashesAt(std::int64_t k, platform::faults::Mode mode, Act &&act)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        platform::faults::reset();
        platform::faults::arm(k, 0, mode);
        try {
            act();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == platform::faults::CrashExitCode;
}

} // namespace cardomine::testing
