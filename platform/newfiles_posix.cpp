// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/newfiles.h"

#include "platform/posixio.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace cardomine::platform::files {

using namespace posixio;

namespace {

// How many files between two requests to write back.
constexpr std::size_t WritebackEvery = 8192;

// Closes fd as one fault-injection point; 0, or -1 with errno set. Not repeated on
// EINTR: Linux has released the descriptor either way.
int closeChecked(int fd)
{
    if (const int injected = faults::check("close")) {
        ::close(fd);
        errno = injected;
        return -1;
    }
    return ::close(fd);
}

WrittenFile writtenFile(const struct stat &written)
{
    return {std::int64_t(written.st_size),
            std::int64_t(written.st_mtim.tv_sec) * 1000000000 + written.st_mtim.tv_nsec,
            std::uint64_t(written.st_ino)};
}

// The file created under its name first and written after: another program may write
// it in between, or after the write and before the stat that follows.
NewFileResult createThenWrite(int folderFd, const QByteArray &name, const QByteArray &bytes)
{
    const int fd = sysCall("open", [&] {
        return ::openat(folderFd, name.constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    });
    if (fd < 0)
        return {false, errno, {}};
    NewFileResult result{true, 0, {}};
    struct stat written
    {};
    if (writeFrom(fd, bytes, -1) < 0 ||
        sysCall("fstat", [&] { return ::fstat(fd, &written); }) != 0)
        result.error = errno;
    // Another program wrote the file before the stat: its version now, not ours to remove.
    else if (!stillHolds(fd, bytes, written))
        result = {false, EEXIST, {}};
    if (closeChecked(fd) != 0 && result.error == 0)
        result.error = errno;
    if (result.error == 0)
        result.written = writtenFile(written);
    return result;
}

} // namespace

bool stillHolds(int fd, const QByteArray &bytes, const struct stat &written)
{
    if (std::int64_t(written.st_size) != bytes.size())
        return false;
    QByteArray now(bytes.size(), Qt::Uninitialized);
    return readInto(fd, now.data(), now.size(), 0, ReadEnd::AtShortRead) == bytes.size() &&
           now == bytes;
}

NewFileResult createNewFile(int folderFd, const QByteArray &name, const QByteArray &bytes)
{
    const int fd = sysCall(
        "open", [&] { return ::openat(folderFd, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, 0600); });
    // A file system without files that have no name yet.
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        return createThenWrite(folderFd, name, bytes);
    if (fd < 0)
        return {false, errno, {}};
    Descriptor file(fd);
    struct stat written
    {};
    if (writeFrom(fd, bytes, -1) < 0 ||
        sysCall("fstat", [&] { return ::fstat(fd, &written); }) != 0)
        return {false, errno, {}};
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    // The name comes last, with the whole content behind it, and never over a file.
    if (sysCall("link", [&] {
            return ::linkat(AT_FDCWD, self, folderFd, name.constData(), AT_SYMLINK_FOLLOW);
        }) != 0) {
        // Without /proc the file cannot be named this way.
        if (errno == ENOENT && ::faccessat(folderFd, ".", F_OK, 0) == 0)
            return createThenWrite(folderFd, name, bytes);
        return {false, errno, {}};
    }
    NewFileResult result{true, 0, writtenFile(written)};
    if (closeChecked(file.release()) != 0)
        result.error = errno;
    return result;
}

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
            results[i] = createNewFile(folderFd, names[i], bytes[i]);
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
