#include "platform/faults.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cardomine::platform::faults {

namespace {
// The program runs its file services on one thread, so plain globals suffice.
std::int64_t g_count = 0;
std::int64_t g_armedAt = 0;
int g_errorCode = 0;
Mode g_mode = Mode::Fail;
bool g_cutting = false;
bool g_cut = false;
std::vector<std::int64_t> g_writes;
} // namespace

void reset()
{
    g_count = 0;
    g_armedAt = 0;
    g_errorCode = 0;
    g_mode = Mode::Fail;
    g_cutting = false;
    g_cut = false;
    g_writes.clear();
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

const std::vector<std::int64_t> &writeOperations()
{
    return g_writes;
}

int check(const char *operation)
{
    ++g_count;
    const bool write = std::strstr(operation, "write") != nullptr;
    // Kept for the tests' short runs only; a program that runs on stops listing.
    if (write && g_writes.size() < 4096)
        g_writes.push_back(g_count);
    if (g_armedAt <= 0 || g_count != g_armedAt)
        return 0;
    g_armedAt = 0;
    if (g_mode == Mode::CutShort && write) {
        g_cutting = true;
        return 0;
    }
    if (g_mode == Mode::Crash || g_mode == Mode::CutShort) {
        // A crash test wants the state a power cut or kill would leave: no
        // destructors, no atexit handlers, no buffers flushed.
        std::_Exit(CrashExitCode);
    }
    return g_errorCode;
}

std::size_t writeLength(std::size_t length)
{
    if (!g_cutting)
        return length;
    g_cutting = false;
    g_cut = true;
    return std::max<std::size_t>(1, length / 16);
}

void afterCall()
{
    if (g_cut)
        std::_Exit(CrashExitCode);
}

} // namespace cardomine::platform::faults
