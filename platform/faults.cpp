// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/faults.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace cardomine::platform::faults {

namespace {
// A test drives the file services from one thread, so plain globals suffice for what
// it arms; only the count is shared with the threads a large batch of new files uses.
struct Armed
{
    std::int64_t at = 0; // 0: not armed
    int errorCode = 0;
    Mode mode = Mode::Fail;
};
std::atomic<std::int64_t> g_count = 0;
// The fault arm() set, and the one armSecond() set.
Armed g_armed[2];
bool g_cutting = false;
bool g_cut = false;
std::vector<std::int64_t> g_writes;
std::vector<std::int64_t> g_changes;
std::int64_t g_actionAt = 0;
std::function<void()> g_action;
std::function<void(const QString &)> g_beforeReplacing;
// Set once a test resets or arms the seam; a user's run never does, so its file
// services only count their operations.
bool g_watched = false;
} // namespace

void reset()
{
    g_watched = true;
    g_count = 0;
    g_armed[0] = {};
    g_armed[1] = {};
    g_cutting = false;
    g_cut = false;
    g_writes.clear();
    g_changes.clear();
    g_actionAt = 0;
    g_action = nullptr;
    g_beforeReplacing = nullptr;
}

std::int64_t operationCount()
{
    return g_count;
}

void arm(std::int64_t k, int errorCode, Mode mode)
{
    g_watched = true;
    g_armed[0] = {k, errorCode, mode};
    g_armed[1] = {};
}

void armSecond(std::int64_t m, int errorCode, Mode mode)
{
    g_watched = true;
    g_armed[1] = {m, errorCode, mode};
}

const std::vector<std::int64_t> &writeOperations()
{
    return g_writes;
}

const std::vector<std::int64_t> &changingOperations()
{
    return g_changes;
}

void atOperation(std::int64_t k, std::function<void()> action)
{
    g_watched = true;
    g_actionAt = k;
    g_action = std::move(action);
}

void beforeReplacing(std::function<void(const QString &nativePath)> action)
{
    g_watched = true;
    g_beforeReplacing = std::move(action);
}

void replacing(const QString &nativePath)
{
    if (g_beforeReplacing)
        g_beforeReplacing(nativePath);
}

void unwatch()
{
    reset();
    g_watched = false;
}

bool watched()
{
    return g_watched;
}

int check(const char *operation)
{
    const std::int64_t count = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
    if (!g_watched)
        return 0;
    if (g_actionAt == count && g_action)
        std::exchange(g_action, nullptr)();
    const bool write = std::strstr(operation, "write") != nullptr;
    // Kept for the tests' short runs only; a program that runs on stops listing.
    if (write && g_writes.size() < 4096)
        g_writes.push_back(count);
    static const char *const Changing[] = {"open",      "unlink",      "rename", "renameat2",
                                           "setxattr",  "removexattr", "mkdir",  "link",
                                           "ftruncate", "write",       "pwrite", "chmod"};
    if (g_changes.size() < 65536 &&
        std::any_of(std::begin(Changing), std::end(Changing),
                    [operation](const char *name) { return std::strcmp(name, operation) == 0; }))
        g_changes.push_back(count);
    Armed *armed = nullptr;
    for (Armed &candidate : g_armed) {
        if (candidate.at > 0 && candidate.at == count)
            armed = &candidate;
    }
    if (!armed)
        return 0;
    const Armed fault = std::exchange(*armed, Armed{});
    if (fault.mode == Mode::CutShort && write) {
        g_cutting = true;
        return 0;
    }
    if (fault.mode == Mode::Crash || fault.mode == Mode::CutShort) {
        // A crash test wants the state a power cut or kill would leave: no
        // destructors, no atexit handlers, no buffers flushed.
        std::_Exit(CrashExitCode);
    }
    return fault.errorCode;
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
