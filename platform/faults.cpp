#include "platform/faults.h"

#include <cstdlib>

namespace cardomine::platform::faults {

namespace {
// The program runs its file services on one thread, so plain globals suffice.
std::int64_t g_count = 0;
std::int64_t g_armedAt = 0;
int g_errorCode = 0;
Mode g_mode = Mode::Fail;
} // namespace

void reset()
{
    g_count = 0;
    g_armedAt = 0;
    g_errorCode = 0;
    g_mode = Mode::Fail;
}

std::int64_t operationCount()
{
    return g_count;
}

void arm(std::int64_t k, int errorCode, Mode mode)
{
    g_armedAt = k;
    g_errorCode = errorCode;
    g_mode = mode;
}

int check(const char *operation)
{
    Q_UNUSED(operation);
    ++g_count;
    if (g_armedAt <= 0 || g_count != g_armedAt)
        return 0;
    g_armedAt = 0;
    if (g_mode == Mode::Crash) {
        // A crash test wants the state a power cut or kill would leave: no
        // destructors, no atexit handlers, no buffers flushed.
        std::_Exit(CrashExitCode);
    }
    return g_errorCode;
}

} // namespace cardomine::platform::faults
