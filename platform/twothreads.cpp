// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/twothreads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace cardomine::platform {

namespace {

// Neighbouring items are taken by the same thread: data made one after the other shares
// cache lines, which two threads writing to them would pass back and forth.
constexpr std::size_t Block = 64;

} // namespace

void onTwoThreads(std::size_t count, const std::function<void(std::size_t)> &work)
{
    std::atomic<std::size_t> next = 0;
    std::atomic<bool> stopped = false;
    std::mutex mutex;
    std::exception_ptr failure;
    const auto takeTurns = [&] {
        try {
            for (std::size_t from = next.fetch_add(Block); from < count && !stopped;
                 from = next.fetch_add(Block))
                for (std::size_t i = from; i < std::min(count, from + Block) && !stopped; ++i)
                    work(i);
        } catch (...) {
            stopped = true;
            const std::lock_guard lock(mutex);
            if (!failure)
                failure = std::current_exception();
        }
    };
    std::optional<std::thread> helper;
    if (count > 1) {
        try {
            helper.emplace(takeTurns);
        } catch (const std::system_error &) {
            // No thread to spare.
        }
    }
    takeTurns();
    if (helper)
        helper->join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace cardomine::platform
