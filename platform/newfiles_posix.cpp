// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/newfiles.h"

#include "platform/posixio.h"

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

NewFileStream::NewFileStream(int folderFd)
    : m_folderFd(folderFd)
{
    try {
        m_writer.emplace([this] { writeBack(); });
        m_worker.emplace([this] { work(false); });
    } catch (const std::system_error &) {
        // No thread to spare: finish() does what is left on the caller's thread.
    }
}

NewFileStream::~NewFileStream()
{
    stop();
}

void NewFileStream::add(const std::vector<QByteArray> &names, std::vector<QByteArray> bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < names.size(); ++i)
            m_items.push_back({names[i], std::move(bytes[i]), {}});
    }
    m_more.notify_all();
}

// The worker waits for items until the stream closes; the caller (in finish) takes items
// while any is left.
void NewFileStream::work(bool caller)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!caller)
            m_more.wait(lock, [this] { return m_next < m_items.size() || m_closing || m_stopped; });
        if (m_stopped || m_next >= m_items.size())
            break;
        Item &item = m_items[m_next++];
        lock.unlock();
        const NewFileResult result = createNewFile(m_folderFd, item.name, item.bytes);
        item.bytes = QByteArray(); // written: its memory is not needed any more
        lock.lock();
        item.result = result;
        if (result.error != 0 && result.error != EEXIST)
            m_stopped = true;
        if (++m_done % WritebackEvery == 0)
            m_progress.notify_all();
    }
    if (!caller) {
        m_ended = true;
        m_progress.notify_all();
    }
}

// Its errors are left to the flush that follows the batch, which meets them again.
void NewFileStream::writeBack()
{
    std::size_t requestedAt = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_progress.wait(lock, [&] { return m_ended || m_done >= requestedAt + WritebackEvery; });
        if (m_ended)
            return;
        requestedAt = m_done;
        lock.unlock();
        sysCall("syncfs", [&] { return ::syncfs(m_folderFd); });
        lock.lock();
    }
}

std::vector<NewFileResult> NewFileStream::results()
{
    if (m_worker) {
        m_worker->join();
        m_worker.reset();
    }
    {
        const std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    m_progress.notify_all();
    if (m_writer) {
        m_writer->join();
        m_writer.reset();
    }
    std::vector<NewFileResult> out;
    out.reserve(m_items.size());
    for (const Item &item : m_items)
        out.push_back(item.result);
    m_items.clear();
    m_next = m_done = 0;
    return out;
}

std::vector<NewFileResult> NewFileStream::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_more.notify_all();
    work(true);
    return results();
}

std::vector<NewFileResult> NewFileStream::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_more.notify_all();
    return results();
}

std::vector<NewFileResult> createNewFiles(int folderFd, const std::vector<QByteArray> &names,
                                          const std::vector<QByteArray> &bytes)
{
    NewFileStream stream(folderFd);
    stream.add(names, bytes);
    return stream.finish();
}

} // namespace cardomine::platform::files
