// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers shared by the POSIX file services (files_posix.cpp, attributes_posix.cpp).
// Not for use outside platform/.

#include "platform/attributestore.h"
#include "platform/faults.h"
#include "platform/seenfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace cardomine::platform::posixio {

// Runs one system call as one fault-injection point: an armed fault makes it fail
// with the injected error without calling it. Interrupted calls are repeated.
template <typename Call> auto sysCall(const char *name, Call &&call) -> decltype(call())
{
    for (;;) {
        if (const int injected = faults::check(name)) {
            errno = injected;
            return static_cast<decltype(call())>(-1);
        }
        const auto result = call();
        faults::afterCall();
        if (result == -1 && errno == EINTR)
            continue;
        return result;
    }
}

// How readInto knows the file has ended: at a read that brings nothing, or already at
// one that brings less than asked for (the end of a regular file whose length is known).
enum class ReadEnd
{
    AtEmptyRead,
    AtShortRead
};

// Reads up to size bytes into data with read(2), or with pread(2) from offset when
// offset is not negative; each call is one fault-injection point ("read", "pread").
// Reads on until size bytes are in or the file ends. Returns the bytes read, or -1
// with errno set.
inline qsizetype readInto(int fd, char *data, qsizetype size, std::int64_t offset, ReadEnd end)
{
    qsizetype done = 0;
    while (done < size) {
        const qsizetype want = size - done;
        const ssize_t got =
            offset < 0 ? sysCall("read", [&] { return ::read(fd, data + done, size_t(want)); })
                       : sysCall("pread", [&] {
                             return ::pread(fd, data + done, size_t(want), off_t(offset + done));
                         });
        if (got < 0)
            return -1;
        done += got;
        if (got == 0 || (end == ReadEnd::AtShortRead && got < want))
            break;
    }
    return done;
}

// Writes all the bytes with write(2), or with pwrite(2) at offset when offset is not
// negative, going on after short writes; each call is one fault-injection point
// ("write", "pwrite") whose length the injector may cut. Returns 0, or -1 with errno
// set.
inline int writeFrom(int fd, QByteArrayView bytes, std::int64_t offset)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        // The length is asked for after the fault check, which may arm the cut.
        const auto length = [&] { return faults::writeLength(size_t(bytes.size() - done)); };
        const ssize_t written =
            offset < 0
                ? sysCall("write", [&] { return ::write(fd, bytes.data() + done, length()); })
                : sysCall("pwrite", [&] {
                      return ::pwrite(fd, bytes.data() + done, length(), off_t(offset + done));
                  });
        if (written < 0)
            return -1;
        done += written;
    }
    return 0;
}

// Throws FileError for the program path with the system's text for errorCode.
[[noreturn]] void fail(const QString &operation, const QString &programPath, int errorCode);

// The native path of a program path, encoded for system calls. A path holding a
// NUL character is refused (EINVAL) rather than cut short.
QByteArray nativeBytes(const QString &programPath, const QString &operation);
// nativeBytes for an operation that writes, creates, removes or renames: a path that
// leads through a folder that is a symbolic link is refused, so nothing is ever
// written outside the data folder through one.
QByteArray writableNativeBytes(const QString &programPath, const QString &operation);

// Throws FileError for a path that exists but is not a regular file (a FIFO, a
// device, a socket), naming what it is.
[[noreturn]] void failNotRegular(const QString &operation, const QString &programPath,
                                 unsigned int mode);

// Calls visit(fd, entry) for every entry of the folder at native but "." and "..", fd
// being the folder's own descriptor (for fstatat), then listed(fd) while it is still open.
// A folder that cannot be opened or read through fails the operation, named by shownPath.
template <typename Visit, typename Listed>
void forEachEntry(const QByteArray &native, const QString &operation, const QString &shownPath,
                  Visit &&visit, Listed &&listed)
{
    const int fd = sysCall(
        "open", [&] { return ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        fail(operation, shownPath, errno);
    DIR *directory = ::fdopendir(fd);
    if (directory == nullptr) {
        const int error = errno;
        ::close(fd);
        fail(operation, shownPath, error);
    }
    const std::unique_ptr<DIR, int (*)(DIR *)> closer(directory, ::closedir);
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(directory);
        if (entry == nullptr) {
            if (errno != 0)
                fail(operation, shownPath, errno);
            listed(fd);
            return;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            visit(fd, *entry);
    }
}
template <typename Visit>
void forEachEntry(const QByteArray &native, const QString &operation, const QString &shownPath,
                  Visit &&visit)
{
    forEachEntry(native, operation, shownPath, std::forward<Visit>(visit), [](int) {});
}

// The folder part and the name part of a native path.
QByteArray folderOf(const QByteArray &native);
QByteArray nameOf(const QByteArray &native);

// An open file descriptor, closed unchecked when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor();
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    // Hands the descriptor over; it is not closed here any more.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes as a checked operation: a failing close fails the write it ends.
    void close(const QString &operation, const QString &programPath);
    // Closes after a read; the result is of no interest.
    void closeAfterReading();

private:
    int m_fd = -1;
};

// Whole-file read; a missing file reads as empty when missingIsEmpty.
QByteArray readWhole(const QByteArray &native, std::int64_t maxBytes, bool missingIsEmpty,
                     const QString &operation, const QString &programPath);

// The two halves of replaceWhole. writeTemporary writes and (when flush) flushes a
// temporary file beside native and returns its path (removed again when it fails);
// with `written`, what fstat tells of the file once written, which the rename into
// place keeps. publishTemporary renames it over native and flushes the folder
// (removing it when the rename fails).
QByteArray writeTemporary(const QByteArray &native, const QByteArray &bytes,
                          const QString &operation, const QString &programPath, bool flush = true,
                          struct stat *written = nullptr);
void publishTemporary(const QByteArray &temporary, const QByteArray &native,
                      const QString &operation, const QString &programPath);

// Writes a temporary file beside native, flushes it, renames it over native and
// flushes the folder. On failure the old file is untouched and the temporary file
// is removed.
void replaceWhole(const QByteArray &native, const QByteArray &bytes, const QString &operation,
                  const QString &programPath);

// Gives the file at source the name target, never replacing a file there: RENAME_NOREPLACE,
// else a hard link and the old name removed, else a look and a rename. Returns 0, or the
// error that stopped it (EEXIST: the name is taken) with source in place.
int placeWithoutReplacing(const QByteArray &source, const QByteArray &target);

// Puts the temporary file (this program's, of inode ours) in place of native only while
// native still is as seen (files::SeenFile): exchanged with it where the file system
// allows, and what it replaced compared under the temporary name, else compared just
// before the rename. Returns false, the other program's version in place, when native
// was changed, created or deleted since. The temporary is cleared once nothing of this
// program's is left under it.
bool replaceIfSeen(QByteArray &temporary, const QByteArray &native, const files::SeenFile &seen,
                   std::uint64_t ours, const QString &operation, const QString &programPath);

// Flushes a folder's entries to disk.
void syncFolder(const QByteArray &folder, const QString &operation, const QString &programPath);

} // namespace cardomine::platform::posixio

namespace cardomine::platform::attributestore {
// Keeps a sidecar line with its file when the file is moved or deleted, as extended
// attributes stay with the inode. Called after the move or delete.
void followMove(const QByteArray &fromNative, const QByteArray &toNative, const QString &operation,
                const QString &programPath);
void forgetEntry(const QByteArray &native, const QString &operation, const QString &programPath);

// Keeps the content digest this process knows of a file current across one of its own
// writes, from the chunks the write touches (read just before it), so that sealing
// the file again need not read all of it. Made just before the write (offset -1: an
// append), done() once the write went through; otherwise the digest is forgotten.
class ContentWrite
{
public:
    ContentWrite(int fd, const QByteArray &native, std::int64_t offset, QByteArrayView bytes);
    ~ContentWrite();
    ContentWrite(const ContentWrite &) = delete;
    ContentWrite &operator=(const ContentWrite &) = delete;
    void done(int fd);

private:
    QByteArray m_native;
    Digest m_digest;
    std::int64_t m_newSize = 0;
    bool m_tracking = false;
    bool m_done = false;
};
} // namespace cardomine::platform::attributestore
