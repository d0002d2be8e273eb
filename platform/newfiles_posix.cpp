// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/newfiles.h"

#include "platform/posixio.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace cardomine::platform::files {

using namespace posixio;

namespace {

// How many files between two requests to write back.
constexpr std::size_t WritebackEvery = 8192;

NewFileResult createOne(int folderFd, const QByteArray &name, const QByteArray &bytes)
{
    const int fd = sysCall("open", [&] {
        return ::openat(folderFd, name.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    });
    if (fd < 0)
        return {false, errno, {}};
    NewFileResult result{true, 0, {}};
    struct stat written
    {};
    if (writeFrom(fd, bytes, -1) < 0 ||
        sysCall("fstat", [&] { return ::fstat(fd, &written); }) != 0)
        result.error = errno;
    // Not repeated on EINTR: Linux has released the descriptor either way.
    const int closed = faults::check("close") == 0 ? ::close(fd) : (::close(fd), -1);
    if (closed != 0 && result.error == 0)
        result.error = errno;
    if (result.error == 0)
        result.written = {std::int64_t(written.st_size),
                          std::int64_t(written.st_mtim.tv_sec) * 1000000000 +
                              written.st_mtim.tv_nsec,
                          std::uint64_t(written.st_ino)};
    return result;
}

} // namespace

std::vector<NewFileResult> createNewFiles(int folderFd, const std::vector<QByteArray> &names,
                                          const std::vector<QByteArray> &bytes)
{
    std::vector<NewFileResult> results(names.size());
    std::atomic<std::size_t> next = 0;
    std::atomic<std::size_t> done = 0;
    std::atomic<bool> stopped = false;
    std::mutex mutex;
    std::condition_variable progress;
    bool finished = false;

    const auto work = [&] {
        for (std::size_t i = next++; i < names.size() && !stopped; i = next++) {
            results[i] = createOne(folderFd, names[i], bytes[i]);
            if (results[i].error != 0 && results[i].error != EEXIST)
                stopped = true;
            if (++done % WritebackEvery == 0) {
                const std::lock_guard lock(mutex);
                progress.notify_one();
            }
        }
    };
    // Its errors are left to the flush that follows the batch, which meets them again.
    const auto writeBack = [&] {
        std::size_t requestedAt = 0;
        std::unique_lock lock(mutex);
        for (;;) {
            progress.wait(lock, [&] { return finished || done >= requestedAt + WritebackEvery; });
            if (finished)
                return;
            requestedAt = done;
            lock.unlock();
            sysCall("syncfs", [&] { return ::syncfs(folderFd); });
            lock.lock();
        }
    };

    std::optional<std::thread> writer;
    std::optional<std::thread> helper;
    try {
        writer.emplace(writeBack);
        helper.emplace(work);
    } catch (const std::system_error &) {
        // No thread to spare: this one does what is left alone.
    }
    work();
    if (helper)
        helper->join();
    {
        const std::lock_guard lock(mutex);
        finished = true;
    }
    progress.notify_one();
    if (writer)
        writer->join();
    return results;
}

} // namespace cardomine::platform::files
