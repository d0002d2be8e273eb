// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/newfiles.h"
#include "platform/posixio.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace cardomine::platform {

namespace posixio {

void fail(const QString &operation, const QString &programPath, int errorCode)
{
    throw FileError(operation, programPath, errorCode,
                    QString::fromLocal8Bit(std::strerror(errorCode)));
}

QByteArray nativeBytes(const QString &programPath, const QString &operation)
{
    if (programPath.contains(QChar(0)))
        fail(operation, programPath, EINVAL);
    return resolvePath(programPath).native;
}

QByteArray writableNativeBytes(const QString &programPath, const QString &operation)
{
    if (programPath.contains(QChar(0)))
        fail(operation, programPath, EINVAL);
    ResolvedPath resolved = resolvePath(programPath);
    if (!resolved.linkedFolder.isEmpty())
        throw FileError(operation, programPath, ELOOP,
                        QStringLiteral("the folder %1 is a symbolic link, and Cardomine writes "
                                       "only inside its data folder, never through a link")
                            .arg(resolved.linkedFolder));
    return std::move(resolved.native);
}

void failNotRegular(const QString &operation, const QString &programPath, unsigned int mode)
{
    QString what = QStringLiteral("it is not a regular file");
    if (S_ISFIFO(mode))
        what = QStringLiteral("it is a named pipe (FIFO), not a regular file");
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        what = QStringLiteral("it is a device, not a regular file");
    else if (S_ISSOCK(mode))
        what = QStringLiteral("it is a socket, not a regular file");
    throw FileError(operation, programPath, EINVAL, what);
}

QByteArray folderOf(const QByteArray &native)
{
    const qsizetype slash = native.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    if (slash == 0)
        return QByteArray("/");
    return native.left(slash);
}

QByteArray nameOf(const QByteArray &native)
{
    return native.mid(native.lastIndexOf('/') + 1);
}

Descriptor::~Descriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Descriptor::close(const QString &operation, const QString &programPath)
{
    const int fd = m_fd;
    m_fd = -1;
    // Not repeated on EINTR: Linux has released the descriptor either way.
    int result = -1;
    if (const int injected = faults::check("close")) {
        ::close(fd);
        errno = injected;
    } else {
        result = ::close(fd);
    }
    if (result != 0)
        fail(operation, programPath, errno);
}

void Descriptor::closeAfterReading()
{
    // Everything wanted has been read; a failing close loses nothing.
    const int fd = m_fd;
    m_fd = -1;
    faults::check("close");
    ::close(fd);
}

namespace {

void writeAll(int fd, const QByteArray &bytes, const QString &operation, const QString &programPath)
{
    if (writeFrom(fd, bytes, -1) < 0)
        fail(operation, programPath, errno);
}

void syncFile(int fd, const QString &operation, const QString &programPath)
{
    if (sysCall("fsync", [&] { return ::fsync(fd); }) != 0)
        fail(operation, programPath, errno);
}

// Removes a temporary file unless the rename that publishes it went through.
class TemporaryFile
{
public:
    explicit TemporaryFile(QByteArray path)
        : m_path(std::move(path))
    {}
    ~TemporaryFile()
    {
        if (!m_published)
            ::unlink(m_path.constData());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const QByteArray &path() const { return m_path; }
    void published() { m_published = true; }

private:
    QByteArray m_path;
    bool m_published = false;
};

} // namespace

namespace {

// Opens a regular file for reading; -1 when it is missing and missingIsEmpty. Its size
// as fstat saw it goes to size.
int openForReading(const QByteArray &native, bool missingIsEmpty, const QString &operation,
                   const QString &programPath, std::int64_t &size)
{
    // Not blocking: a FIFO under this name is opened and turned down, not waited on.
    const int fd = sysCall(
        "open", [&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
        if (missingIsEmpty && errno == ENOENT)
            return -1;
        fail(operation, programPath, errno);
    }
    Descriptor file(fd);
    struct stat info
    {};
    if (sysCall("fstat", [&] { return ::fstat(fd, &info); }) != 0)
        fail(operation, programPath, errno);
    if (S_ISDIR(info.st_mode))
        fail(operation, programPath, EISDIR);
    if (!S_ISREG(info.st_mode))
        failNotRegular(operation, programPath, info.st_mode);
    size = std::int64_t(info.st_size);
    return file.release();
}

} // namespace

QByteArray readWhole(const QByteArray &native, std::int64_t maxBytes, bool missingIsEmpty,
                     const QString &operation, const QString &programPath)
{
    std::int64_t size = 0;
    const int fd = openForReading(native, missingIsEmpty, operation, programPath, size);
    if (fd < 0)
        return {};
    Descriptor file(fd);
    QByteArray bytes;
    constexpr qsizetype Chunk = 64 * 1024;
    // The first read asks for the whole file as fstat saw it and one byte more, so a
    // file that did not grow meanwhile is read with one call and one allocation.
    constexpr std::int64_t FirstReadLimit = std::int64_t(256) * 1024 * 1024;
    qsizetype first = qsizetype(std::clamp<std::int64_t>(size + 1, Chunk, FirstReadLimit));
    for (;;) {
        qsizetype want = std::exchange(first, Chunk);
        if (maxBytes >= 0)
            want = qsizetype(std::min<std::int64_t>(want, maxBytes - bytes.size()));
        if (want <= 0)
            break;
        const qsizetype had = bytes.size();
        bytes.resize(had + want);
        const qsizetype got = readInto(fd, bytes.data() + had, want, -1, ReadEnd::AtEmptyRead);
        if (got < 0)
            fail(operation, programPath, errno);
        bytes.resize(had + got);
        if (got < want)
            break;
    }
    file.closeAfterReading();
    return bytes;
}

void syncFolder(const QByteArray &folder, const QString &operation, const QString &programPath)
{
    const int fd = sysCall(
        "open", [&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        fail(operation, programPath, errno);
    Descriptor directory(fd);
    syncFile(fd, operation, programPath);
    directory.close(operation, programPath);
}

QByteArray writeTemporary(const QByteArray &native, const QByteArray &bytes,
                          const QString &operation, const QString &programPath, bool flush,
                          struct stat *written)
{
    const QByteArray folder = folderOf(native);
    QByteArray pattern = folder + "/." + nameOf(native) + ".tmp-XXXXXX";
    // mkostemp creates the file with mode 0600.
    const int fd = sysCall("open", [&] { return ::mkostemp(pattern.data(), O_CLOEXEC); });
    if (fd < 0)
        fail(operation, programPath, errno);
    TemporaryFile temporary(pattern);
    Descriptor file(fd);
    writeAll(fd, bytes, operation, programPath);
    if (flush)
        syncFile(fd, operation, programPath);
    if (written && sysCall("fstat", [&] { return ::fstat(fd, written); }) != 0)
        fail(operation, programPath, errno);
    file.close(operation, programPath);
    temporary.published();
    return pattern;
}

void publishTemporary(const QByteArray &temporary, const QByteArray &native,
                      const QString &operation, const QString &programPath)
{
    if (sysCall("rename", [&] { return ::rename(temporary.constData(), native.constData()); }) !=
        0) {
        const int error = errno;
        ::unlink(temporary.constData());
        fail(operation, programPath, error);
    }
    syncFolder(folderOf(native), operation, programPath);
}

void replaceWhole(const QByteArray &native, const QByteArray &bytes, const QString &operation,
                  const QString &programPath)
{
    publishTemporary(writeTemporary(native, bytes, operation, programPath), native, operation,
                     programPath);
}

int placeWithoutReplacing(const QByteArray &source, const QByteArray &target)
{
    int result = sysCall("renameat2", [&] {
        return ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(),
                           RENAME_NOREPLACE);
    });
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without RENAME_NOREPLACE: a hard link cannot overwrite either.
        result = sysCall("link", [&] { return ::link(source.constData(), target.constData()); });
        if (result == 0) {
            if (sysCall("unlink", [&] { return ::unlink(source.constData()); }) != 0) {
                const int error = errno;
                ::unlink(target.constData());
                return error;
            }
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) {
            // No hard links either: look first, then rename, the nearest this file
            // system allows.
            struct stat info
            {};
            if (sysCall("lstat", [&] { return ::lstat(target.constData(), &info); }) == 0)
                return EEXIST;
            if (errno != ENOENT)
                return errno;
            result =
                sysCall("rename", [&] { return ::rename(source.constData(), target.constData()); });
        }
    }
    return result == 0 ? 0 : errno;
}

} // namespace posixio

namespace files {

using namespace posixio;

namespace {

const QString CheckOperation = QStringLiteral("check");
const QString ReadOperation = QStringLiteral("read");
const QString WriteOperation = QStringLiteral("write");

// Stats a path; false when it does not exist.
bool statPath(const QByteArray &native, struct stat &info, const QString &operation,
              const QString &programPath)
{
    if (sysCall("stat", [&] { return ::stat(native.constData(), &info); }) == 0)
        return true;
    if (errno == ENOENT || errno == ENOTDIR)
        return false;
    fail(operation, programPath, errno);
}

bool isReadOnly(const struct stat &info)
{
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// A file marked read-only is not written, whoever runs the program: root would get
// through the permission bits, Windows would not, and the program relies on setting
// the attributes to normal before it writes.
bool checkWritable(const QByteArray &native, const QString &programPath)
{
    struct stat info
    {};
    if (!statPath(native, info, WriteOperation, programPath))
        return false;
    if (S_ISDIR(info.st_mode))
        fail(WriteOperation, programPath, EISDIR);
    // Opening a FIFO for writing would wait for a reader, and a device is no card file.
    if (!S_ISREG(info.st_mode))
        failNotRegular(WriteOperation, programPath, info.st_mode);
    if (isReadOnly(info))
        fail(WriteOperation, programPath, EACCES);
    // A file the user may not write (another user's) is not replaced either, though
    // the folder would let a rename put a new file in its place.
    if (sysCall("access",
                [&] { return ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS); }) != 0)
        fail(WriteOperation, programPath, errno);
    return true;
}

std::int64_t recordOffset(std::int64_t recordNumber, std::int64_t length, const QString &operation,
                          const QString &programPath)
{
    if (recordNumber < 1 || length < 1 ||
        recordNumber - 1 > std::numeric_limits<std::int64_t>::max() / length)
        fail(operation, programPath, EINVAL);
    return (recordNumber - 1) * length;
}

} // namespace

bool fileExists(const QString &path)
{
    const QByteArray native = nativeBytes(path, CheckOperation);
    struct stat info
    {};
    return statPath(native, info, CheckOperation, path) && S_ISREG(info.st_mode);
}

bool folderExists(const QString &path)
{
    const QByteArray native = nativeBytes(path, CheckOperation);
    struct stat info
    {};
    return statPath(native, info, CheckOperation, path) && S_ISDIR(info.st_mode);
}

void createFolder(const QString &path)
{
    const QString operation = QStringLiteral("create the folder");
    const QByteArray native = writableNativeBytes(path, operation);
    if (sysCall("mkdir", [&] { return ::mkdir(native.constData(), 0700); }) != 0)
        fail(operation, path, errno);
}

void deleteFile(const QString &path)
{
    const QString operation = QStringLiteral("delete");
    const QByteArray native = writableNativeBytes(path, operation);
    struct stat info
    {};
    if (sysCall("lstat", [&] { return ::lstat(native.constData(), &info); }) != 0)
        fail(operation, path, errno);
    if (S_ISDIR(info.st_mode))
        fail(operation, path, EISDIR);
    // As on Windows, a read-only file is not deleted.
    if (S_ISREG(info.st_mode) && isReadOnly(info))
        fail(operation, path, EACCES);
    if (sysCall("unlink", [&] { return ::unlink(native.constData()); }) != 0)
        fail(operation, path, errno);
    forgetName(native);
    attributestore::forgetEntry(native, operation, path);
}

namespace {

// Moves a file to another file system (a disk mounted at the target's folder), where
// no rename reaches: the copy is written and flushed under a temporary name beside the
// target, given the target's name (never over an existing file) and flushed there,
// and only then is the original removed. Returns 0, or the error that stopped it with
// the original in place and no copy left.
int copyAcross(const QByteArray &source, const QByteArray &target, const QString &operation,
               const QString &programPath)
{
    const QByteArray bytes = readWhole(source, -1, false, operation, programPath);
    TemporaryFile temporary(writeTemporary(target, bytes, operation, programPath));
    int result =
        sysCall("link", [&] { return ::link(temporary.path().constData(), target.constData()); });
    if (result != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK)) {
        struct stat info
        {};
        if (sysCall("lstat", [&] { return ::lstat(target.constData(), &info); }) == 0)
            return EEXIST;
        if (errno != ENOENT)
            return errno;
        result = sysCall(
            "rename", [&] { return ::rename(temporary.path().constData(), target.constData()); });
        if (result == 0)
            temporary.published();
    }
    if (result != 0)
        return errno;
    try {
        syncFolder(folderOf(target), operation, programPath);
    } catch (const FileError &) {
        ::unlink(target.constData());
        throw;
    }
    if (sysCall("unlink", [&] { return ::unlink(source.constData()); }) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        return error;
    }
    return 0;
}

} // namespace

void moveFile(const QString &from, const QString &to)
{
    const QString operation = QStringLiteral("move");
    const QByteArray source = writableNativeBytes(from, operation);
    const QByteArray target = writableNativeBytes(to, operation);
    auto failMove = [&](int errorCode) {
        throw FileError(
            operation, from, errorCode,
            QStringLiteral("%1 (to %2)").arg(QString::fromLocal8Bit(std::strerror(errorCode)), to));
    };

    int error = placeWithoutReplacing(source, target);
    if (error == EXDEV) {
        if (const int copyError = copyAcross(source, target, operation, from))
            failMove(copyError);
        error = 0;
    }
    if (error != 0)
        failMove(error);
    forgetName(source);

    syncFolder(folderOf(target), operation, from);
    if (folderOf(source) != folderOf(target))
        syncFolder(folderOf(source), operation, from);
    attributestore::followMove(source, target, operation, from);
}

QStringList listFiles(const QString &folder)
{
    const QString operation = QStringLiteral("list the folder");
    QStringList names;
    forEachEntry(
        nativeBytes(folder, operation), operation, folder, [&](int fd, const dirent &entry) {
            // d_type is not filled in by every file system: ask stat when unsure.
            bool regular = entry.d_type == DT_REG;
            if (entry.d_type == DT_UNKNOWN || entry.d_type == DT_LNK) {
                struct stat info
                {};
                regular = ::fstatat(fd, entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
            }
            if (regular)
                names.append(QFile::decodeName(entry.d_name));
        });
    names.sort();
    return names;
}

std::int64_t fileSize(const QString &path)
{
    const QByteArray native = nativeBytes(path, ReadOperation);
    struct stat info
    {};
    if (sysCall("stat", [&] { return ::stat(native.constData(), &info); }) != 0)
        fail(ReadOperation, path, errno);
    if (S_ISDIR(info.st_mode))
        fail(ReadOperation, path, EISDIR);
    return info.st_size;
}

QByteArray readBytes(const QString &path, std::int64_t maxBytes)
{
    return readWhole(nativeBytes(path, ReadOperation), maxBytes, false, ReadOperation, path);
}

void readInChunks(const QString &path, std::int64_t maxBytes, qsizetype chunkSize,
                  const std::function<void(QByteArrayView)> &take)
{
    std::int64_t size = 0;
    const int fd =
        openForReading(nativeBytes(path, ReadOperation), false, ReadOperation, path, size);
    Descriptor file(fd);
    QByteArray buffer(std::max<qsizetype>(chunkSize, 1), Qt::Uninitialized);
    std::int64_t done = 0;
    while (maxBytes < 0 || done < maxBytes) {
        const qsizetype want =
            maxBytes < 0 ? buffer.size()
                         : qsizetype(std::min<std::int64_t>(buffer.size(), maxBytes - done));
        const qsizetype got = readInto(fd, buffer.data(), want, -1, ReadEnd::AtEmptyRead);
        if (got < 0)
            fail(ReadOperation, path, errno);
        if (got > 0)
            take(QByteArrayView(buffer.constData(), got));
        done += got;
        if (got < want)
            break;
    }
    file.closeAfterReading();
}

namespace {

// readBytesIfFile once the file is open (fd < 0: the open failed, errno says why).
std::optional<QByteArray> readOpenedIfFile(int fd, const QString &path, std::int64_t maxBytes)
{
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        fail(ReadOperation, path, errno);
    }
    Descriptor file(fd);
    struct stat info
    {};
    if (sysCall("fstat", [&] { return ::fstat(fd, &info); }) != 0)
        fail(ReadOperation, path, errno);
    if (!S_ISREG(info.st_mode)) {
        file.closeAfterReading();
        return std::nullopt;
    }
    // The length is known: one read usually takes it all (one byte more is asked for
    // to see the end), and a short read of a regular file is its end.
    QByteArray bytes;
    std::int64_t chunk = std::int64_t(info.st_size) + 1;
    for (;;) {
        const qsizetype had = bytes.size();
        std::int64_t want = chunk;
        if (maxBytes >= 0)
            want = std::min<std::int64_t>(want, maxBytes - had);
        if (want <= 0)
            break;
        bytes.resize(had + qsizetype(want));
        const qsizetype got =
            readInto(fd, bytes.data() + had, qsizetype(want), -1, ReadEnd::AtShortRead);
        if (got < 0)
            fail(ReadOperation, path, errno);
        bytes.resize(had + got);
        if (got < want)
            break;
        chunk = 64 * 1024; // it grew since: go on in steps
    }
    file.closeAfterReading();
    return bytes;
}

} // namespace

std::optional<QByteArray> readBytesIfFile(const QString &path, std::int64_t maxBytes)
{
    const QByteArray native = nativeBytes(path, ReadOperation);
    // Not blocking: a FIFO under this name is opened and turned down, not waited on.
    const int fd = sysCall(
        "open", [&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    return readOpenedIfFile(fd, path, maxBytes);
}

namespace {

// separator: how the files' paths are spelt in errors, after `folder`.
std::vector<std::optional<QByteArray>> readFilesIn(const QByteArray &native, const QString &folder,
                                                   QChar separator, const QStringList &names,
                                                   std::int64_t maxBytes)
{
    const int folderFd = sysCall(
        "open", [&] { return ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (folderFd < 0)
        fail(ReadOperation, folder, errno);
    Descriptor opened(folderFd);
    std::vector<std::optional<QByteArray>> out;
    out.reserve(size_t(names.size()));
    for (const QString &name : names) {
        // A name, not a path: nothing outside the folder is reached.
        if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..") {
            out.emplace_back();
            continue;
        }
        const QByteArray nativeName = QFile::encodeName(name);
        const int fd = sysCall("open", [&] {
            return ::openat(folderFd, nativeName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        });
        out.push_back(readOpenedIfFile(fd, folder + separator + name, maxBytes));
    }
    opened.closeAfterReading();
    return out;
}

} // namespace

std::vector<std::optional<QByteArray>>
readBytesIfFilesIn(const QString &folder, const QStringList &names, std::int64_t maxBytes)
{
    return readFilesIn(nativeBytes(folder, ReadOperation), folder, u'\\', names, maxBytes);
}

std::vector<std::optional<QByteArray>>
readNativeFilesIn(const QString &nativeFolder, const QStringList &names, std::int64_t maxBytes)
{
    if (nativeFolder.isEmpty() || nativeFolder.contains(QChar(0)))
        fail(ReadOperation, nativeFolder, EINVAL);
    return readFilesIn(QFile::encodeName(nativeFolder), nativeFolder, u'/', names, maxBytes);
}

void replaceBytes(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = writableNativeBytes(path, WriteOperation);
    checkWritable(native, path);
    replaceWhole(native, bytes, WriteOperation, path);
}

bool flushIfHolding(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = writableNativeBytes(path, WriteOperation);
    if (checkWritable(native, path)) {
        const int fd = sysCall(
            "open", [&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
        if (fd < 0)
            fail(WriteOperation, path, errno);
        Descriptor file(fd);
        struct stat info
        {};
        if (sysCall("fstat", [&] { return ::fstat(fd, &info); }) != 0)
            fail(WriteOperation, path, errno);
        if (S_ISREG(info.st_mode) && info.st_size == bytes.size()) {
            // One byte more than expected is asked for, so a file that grew since the
            // fstat does not compare equal.
            QByteArray current(bytes.size() + 1, Qt::Uninitialized);
            const qsizetype done =
                readInto(fd, current.data(), current.size(), -1, ReadEnd::AtEmptyRead);
            if (done < 0)
                fail(WriteOperation, path, errno);
            current.resize(done);
            if (current == bytes) {
                // Whoever wrote it may not have flushed it; the caller relies on it
                // being on disk.
                syncFile(fd, WriteOperation, path);
                file.closeAfterReading();
                return true;
            }
        }
        file.closeAfterReading();
    }
    return false;
}

bool replaceBytesIfChanged(const QString &path, const QByteArray &bytes)
{
    if (flushIfHolding(path, bytes))
        return false;
    replaceWhole(nativeBytes(path, WriteOperation), bytes, WriteOperation, path);
    return true;
}

QByteArray readNativeFile(const QString &nativePath)
{
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        fail(ReadOperation, nativePath, EINVAL);
    return readWhole(QFile::encodeName(nativePath), -1, false, ReadOperation, nativePath);
}

void replaceNativeFile(const QString &nativePath, const QByteArray &bytes)
{
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        fail(WriteOperation, nativePath, EINVAL);
    const QByteArray native = QFile::encodeName(nativePath);
    struct stat info
    {};
    if (sysCall("stat", [&] { return ::stat(native.constData(), &info); }) == 0 &&
        S_ISDIR(info.st_mode))
        fail(WriteOperation, nativePath, EISDIR);
    replaceWhole(native, bytes, WriteOperation, nativePath);
}

NativeListing listNativeFolder(const QString &nativePath)
{
    const QString operation = QStringLiteral("list the folder");
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        fail(operation, nativePath, EINVAL);
    NativeListing listing;
    forEachEntry(QFile::encodeName(nativePath), operation, nativePath,
                 [&](int fd, const dirent &entry) {
                     struct stat info
                     {};
                     if (::fstatat(fd, entry.d_name, &info, 0) != 0)
                         return; // a dangling link names nothing to read
                     if (S_ISREG(info.st_mode))
                         listing.files.append(QFile::decodeName(entry.d_name));
                     else if (S_ISDIR(info.st_mode))
                         listing.folders.append(QFile::decodeName(entry.d_name));
                 });
    listing.files.sort();
    listing.folders.sort();
    return listing;
}

bool isSameFolder(const QString &nativePath, const QString &programPath)
{
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        return false;
    const QByteArray native = QFile::encodeName(nativePath);
    const QByteArray program = nativeBytes(programPath, CheckOperation);
    struct stat one
    {};
    struct stat other
    {};
    return ::stat(native.constData(), &one) == 0 && ::stat(program.constData(), &other) == 0 &&
           S_ISDIR(one.st_mode) && one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

void appendBytes(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = writableNativeBytes(path, WriteOperation);
    const bool existed = checkWritable(native, path);
    const int fd = sysCall("open", [&] {
        return ::open(native.constData(),
                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    });
    if (fd < 0)
        fail(WriteOperation, path, errno);
    Descriptor file(fd);
    attributestore::ContentWrite content(fd, native, -1, bytes);
    writeAll(fd, bytes, WriteOperation, path);
    syncFile(fd, WriteOperation, path);
    content.done(fd);
    file.close(WriteOperation, path);
    if (!existed)
        syncFolder(folderOf(native), WriteOperation, path);
}

QByteArray readRecord(const QString &path, std::int64_t recordNumber, int length)
{
    const QByteArray native = nativeBytes(path, ReadOperation);
    const std::int64_t offset = recordOffset(recordNumber, length, ReadOperation, path);
    // Not blocking, for a FIFO under this name; its positioned read then fails.
    const int fd = sysCall(
        "open", [&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0)
        fail(ReadOperation, path, errno);
    Descriptor file(fd);
    QByteArray record(length, ' ');
    const qsizetype done = readInto(fd, record.data(), length, offset, ReadEnd::AtEmptyRead);
    if (done < 0) {
        if (errno == ESPIPE)
            failNotRegular(ReadOperation, path, S_IFIFO);
        fail(ReadOperation, path, errno);
    }
    // Past the end of the file the record reads as spaces.
    std::fill(record.begin() + done, record.end(), ' ');
    file.closeAfterReading();
    return record;
}

void writeRecord(const QString &path, std::int64_t recordNumber, const QByteArray &record)
{
    const QByteArray native = writableNativeBytes(path, WriteOperation);
    if (record.isEmpty())
        fail(WriteOperation, path, EINVAL);
    const std::int64_t offset = recordOffset(recordNumber, record.size(), WriteOperation, path);
    const bool existed = checkWritable(native, path);
    const int fd = sysCall("open", [&] {
        return ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                      0600);
    });
    if (fd < 0)
        fail(WriteOperation, path, errno);
    Descriptor file(fd);
    attributestore::ContentWrite content(fd, native, offset, record);
    if (writeFrom(fd, record, offset) < 0)
        fail(WriteOperation, path, errno);
    syncFile(fd, WriteOperation, path);
    content.done(fd);
    file.close(WriteOperation, path);
    if (!existed)
        syncFolder(folderOf(native), WriteOperation, path);
}

PreparedReplacement::PreparedReplacement(PreparedReplacement &&other) noexcept
    : m_native(std::exchange(other.m_native, QByteArray()))
    , m_temporary(std::exchange(other.m_temporary, QByteArray()))
    , m_path(std::move(other.m_path))
{}

PreparedReplacement &PreparedReplacement::operator=(PreparedReplacement &&other) noexcept
{
    if (this != &other) {
        discard();
        m_native = std::exchange(other.m_native, QByteArray());
        m_temporary = std::exchange(other.m_temporary, QByteArray());
        m_path = std::move(other.m_path);
    }
    return *this;
}

PreparedReplacement::~PreparedReplacement()
{
    discard();
}

void PreparedReplacement::discard() noexcept
{
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

PreparedReplacement PreparedReplacement::prepare(const QString &path, const QByteArray &bytes)
{
    PreparedReplacement prepared;
    const QByteArray native = nativeBytes(path, WriteOperation);
    checkWritable(native, path);
    prepared.m_native = native;
    prepared.m_path = path;
    prepared.m_temporary = writeTemporary(native, bytes, WriteOperation, path);
    return prepared;
}

void PreparedReplacement::commit()
{
    if (m_temporary.isEmpty())
        return;
    const QByteArray temporary = std::exchange(m_temporary, QByteArray());
    publishTemporary(temporary, m_native, WriteOperation, m_path);
}

PreparedReplacements::PreparedReplacements() = default;

PreparedReplacements::PreparedReplacements(PreparedReplacements &&other) noexcept
    : m_entries(std::exchange(other.m_entries, {}))
    , m_folder(std::move(other.m_folder))
    , m_nativeFolder(std::move(other.m_nativeFolder))
    , m_createFolder(std::move(other.m_createFolder))
    , m_createFolderFd(std::exchange(other.m_createFolderFd, -1))
    , m_flushed(std::exchange(other.m_flushed, true))
    , m_begun(std::exchange(other.m_begun, {}))
    , m_newFiles(std::move(other.m_newFiles))
    , m_streamed(std::exchange(other.m_streamed, {}))
{}

PreparedReplacements &PreparedReplacements::operator=(PreparedReplacements &&other) noexcept
{
    if (this != &other) {
        discard();
        if (m_createFolderFd >= 0)
            ::close(m_createFolderFd);
        m_entries = std::exchange(other.m_entries, {});
        m_folder = std::move(other.m_folder);
        m_nativeFolder = std::move(other.m_nativeFolder);
        m_createFolder = std::move(other.m_createFolder);
        m_createFolderFd = std::exchange(other.m_createFolderFd, -1);
        m_flushed = std::exchange(other.m_flushed, true);
        m_begun = std::exchange(other.m_begun, {});
        m_newFiles = std::move(other.m_newFiles);
        m_streamed = std::exchange(other.m_streamed, {});
    }
    return *this;
}

PreparedReplacements::~PreparedReplacements()
{
    discard();
    if (m_createFolderFd >= 0)
        ::close(m_createFolderFd);
}

void PreparedReplacements::stopNewFiles() noexcept
{
    if (!m_newFiles)
        return;
    const std::vector<NewFileResult> created = m_newFiles->stop();
    m_newFiles.reset();
    try {
        for (std::size_t i = 0; i < created.size(); ++i)
            if (created[i].created)
                addCreated(m_streamed.at(qsizetype(i)));
    } catch (...) {
        // Out of memory: those files stay, as a killed process would leave them.
    }
    m_streamed.clear();
}

void PreparedReplacements::discard() noexcept
{
    stopNewFiles();
    m_begun.clear();
    for (const Entry &entry : m_entries) {
        if (entry.created)
            ::unlink(entry.native.constData());
        else if (!entry.temporary.isEmpty())
            ::unlink(entry.temporary.constData());
    }
    m_entries.clear();
}

void PreparedReplacements::add(const QString &path, const QByteArray &bytes)
{
    Entry entry;
    entry.native = nativeBytes(path, WriteOperation);
    checkWritable(entry.native, path);
    entry.path = path;
    entry.temporary = writeTemporary(entry.native, bytes, WriteOperation, path, false);
    m_entries.push_back(std::move(entry));
    m_flushed = false;
}

WrittenFile PreparedReplacements::addNative(const QString &nativePath, const QByteArray &bytes,
                                            const SeenFile &seen)
{
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        fail(WriteOperation, nativePath, EINVAL);
    Entry entry;
    entry.native = QFile::encodeName(nativePath);
    entry.path = nativePath;
    entry.seen = seen;
    struct stat written
    {};
    entry.temporary =
        writeTemporary(entry.native, bytes, WriteOperation, nativePath, false, &written);
    entry.inode = std::uint64_t(written.st_ino);
    m_entries.push_back(std::move(entry));
    m_flushed = false;
    return {std::int64_t(written.st_size),
            std::int64_t(written.st_mtim.tv_sec) * 1000000000 + written.st_mtim.tv_nsec,
            std::uint64_t(written.st_ino)};
}

void PreparedReplacements::addNew(const QString &folder, const QString &name,
                                  const QByteArray &bytes)
{
    if (m_nativeFolder.isEmpty() || folder != m_folder) {
        m_nativeFolder = writableNativeBytes(folder, WriteOperation);
        m_folder = folder;
    }
    Entry entry;
    entry.path = folder + u'\\' + name;
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name.contains(QChar(0)))
        fail(WriteOperation, entry.path, EINVAL);
    entry.native = m_nativeFolder + '/' + QFile::encodeName(name);
    // Written under its own name: the file is new, so until the caller's records name it
    // it belongs to no one, and a discard removes it. This saves a rename per file.
    // Mode 0600, as a replacement's temporary file has.
    const int fd = sysCall("open", [&] {
        return ::open(entry.native.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    });
    if (fd < 0)
        fail(WriteOperation, entry.path, errno);
    entry.created = true;
    m_entries.push_back(std::move(entry));
    Descriptor file(fd);
    writeAll(fd, bytes, WriteOperation, m_entries.back().path);
    file.close(WriteOperation, m_entries.back().path);
    m_flushed = false;
}

namespace {

// A file name addNewNative may create: one name, no path.
void checkNewName(const QString &nativeFolder, const QString &name, const QString &path)
{
    if (nativeFolder.isEmpty() || nativeFolder.contains(QChar(0)) || name.isEmpty() ||
        name.contains(u'/') || name.contains(QChar(0)) || name == u"." || name == u"..")
        fail(WriteOperation, path, EINVAL);
}

// A large batch is worth the threads createNewFiles starts.
constexpr qsizetype ManyNewFiles = 256;

} // namespace

void PreparedReplacements::openCreateFolder(const QString &nativeFolder, const QString &path)
{
    if (m_createFolderFd >= 0 && nativeFolder == m_createFolder)
        return;
    const QByteArray folder = QFile::encodeName(nativeFolder);
    const int fd = sysCall(
        "open", [&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        fail(WriteOperation, path, errno);
    if (m_createFolderFd >= 0)
        ::close(m_createFolderFd);
    m_createFolderFd = fd;
    m_createFolder = nativeFolder;
}

void PreparedReplacements::addCreated(const QString &path)
{
    Entry entry;
    entry.native = QFile::encodeName(path);
    entry.path = path;
    entry.created = true;
    m_entries.push_back(std::move(entry));
    m_flushed = false;
}

std::optional<WrittenFile> PreparedReplacements::addNewNative(const QString &nativeFolder,
                                                              const QString &name,
                                                              const QByteArray &bytes)
{
    const QString path = nativeFolder + u'/' + name;
    checkNewName(nativeFolder, name, path);
    openCreateFolder(nativeFolder, path);
    faults::replacing(path);
    // Never over an existing file: the name was free when the caller looked, and a file
    // another program put there since is left to it.
    const NewFileResult result = createNewFile(m_createFolderFd, QFile::encodeName(name), bytes);
    if (result.created)
        addCreated(path);
    if (result.error == EEXIST)
        return std::nullopt;
    if (result.error != 0)
        fail(WriteOperation, path, result.error);
    return result.written;
}

std::vector<std::optional<WrittenFile>>
PreparedReplacements::addNewNatives(const QString &nativeFolder, const QStringList &names,
                                    const std::vector<QByteArray> &bytes)
{
    beginNewNatives(nativeFolder, names, bytes);
    return finishNewNatives();
}

void PreparedReplacements::beginNewNatives(const QString &nativeFolder, const QStringList &names,
                                           std::vector<QByteArray> bytes)
{
    if (names.isEmpty())
        return;
    // A test counting operations needs them in the same order at every run.
    if (!m_newFiles && (names.size() < ManyNewFiles || faults::watched())) {
        for (qsizetype i = 0; i < names.size(); ++i)
            m_begun.push_back(addNewNative(nativeFolder, names.at(i), bytes[size_t(i)]));
        return;
    }
    std::vector<QByteArray> nativeNames;
    nativeNames.reserve(size_t(names.size()));
    for (const QString &name : names) {
        checkNewName(nativeFolder, name, nativeFolder + u'/' + name);
        nativeNames.push_back(QFile::encodeName(name));
    }
    if (!m_newFiles) {
        openCreateFolder(nativeFolder, nativeFolder + u'/' + names.first());
        m_newFiles = std::make_unique<NewFileStream>(m_createFolderFd);
    } else if (nativeFolder != m_createFolder) {
        fail(WriteOperation, nativeFolder + u'/' + names.first(), EXDEV);
    }
    for (const QString &name : names)
        m_streamed.append(nativeFolder + u'/' + name);
    m_newFiles->add(nativeNames, std::move(bytes));
    m_flushed = false;
}

std::vector<std::optional<WrittenFile>> PreparedReplacements::finishNewNatives()
{
    std::vector<std::optional<WrittenFile>> results = std::exchange(m_begun, {});
    if (!m_newFiles)
        return results;
    const std::vector<NewFileResult> created = m_newFiles->finish();
    m_newFiles.reset();
    const QStringList paths = std::exchange(m_streamed, {});
    std::optional<std::pair<QString, int>> failure;
    for (std::size_t i = 0; i < created.size(); ++i) {
        const NewFileResult &result = created[i];
        const QString &path = paths.at(qsizetype(i));
        if (result.created)
            addCreated(path);
        if (result.error == 0)
            results.emplace_back(result.written);
        else
            results.emplace_back();
        if (result.error != 0 && result.error != EEXIST && result.error != ECANCELED && !failure)
            failure.emplace(path, result.error);
    }
    if (failure)
        fail(WriteOperation, failure->first, failure->second);
    return results;
}

namespace {

// The distinct folders of the entries, each with the program path of its first entry
// (named when flushing that folder fails).
template <typename Entries>
std::vector<std::pair<QByteArray, QString>> foldersOf(const Entries &entries)
{
    std::vector<std::pair<QByteArray, QString>> folders;
    for (const auto &entry : entries) {
        const QByteArray folder = folderOf(entry.native);
        if (std::none_of(folders.begin(), folders.end(),
                         [&](const auto &known) { return known.first == folder; }))
            folders.emplace_back(folder, entry.path);
    }
    return folders;
}

} // namespace

void PreparedReplacements::flush()
{
    if (m_newFiles)
        finishNewNatives();
    if (m_flushed)
        return;
    // One syncfs writes back every temporary file on the folder's file system and
    // reports a write-back error any of them met; much cheaper than a journal commit
    // per file.
    for (const auto &[folderBytes, path] : foldersOf(m_entries)) {
        const QByteArray &folder = folderBytes; // clang 14 lambdas cannot capture a binding
        const int fd = sysCall(
            "open", [&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (fd < 0)
            fail(WriteOperation, path, errno);
        Descriptor directory(fd);
        if (sysCall("syncfs", [&] { return ::syncfs(fd); }) != 0)
            fail(WriteOperation, path, errno);
        directory.close(WriteOperation, path);
    }
    m_flushed = true;
}

QStringList PreparedReplacements::commit()
{
    flush();
    // A file created under its own name is durable, its folder entry too, once the file
    // system is flushed; only a folder a rename changes is flushed again.
    std::vector<Entry> renamed;
    for (const Entry &entry : m_entries)
        if (!entry.created)
            renamed.push_back(entry);
    const auto folders = foldersOf(renamed);
    QStringList leftAlone;
    for (Entry &entry : m_entries) {
        if (entry.created)
            continue;
        if (entry.seen) {
            faults::replacing(entry.path);
            if (!replaceIfSeen(entry.temporary, entry.native, *entry.seen, entry.inode,
                               WriteOperation, entry.path))
                leftAlone.append(entry.path);
            continue;
        }
        if (sysCall("rename", [&] {
                return ::rename(entry.temporary.constData(), entry.native.constData());
            }) != 0)
            fail(WriteOperation, entry.path, errno);
        entry.temporary.clear();
    }
    m_entries.clear();
    for (const auto &[folder, path] : folders)
        syncFolder(folder, WriteOperation, path);
    return leftAlone;
}

void truncateFile(const QString &path, std::int64_t size)
{
    const QByteArray native = nativeBytes(path, WriteOperation);
    if (size < 0)
        fail(WriteOperation, path, EINVAL);
    checkWritable(native, path);
    const int fd = sysCall(
        "open", [&] { return ::open(native.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW); });
    if (fd < 0)
        fail(WriteOperation, path, errno);
    Descriptor file(fd);
    if (sysCall("ftruncate", [&] { return ::ftruncate(fd, off_t(size)); }) != 0)
        fail(WriteOperation, path, errno);
    syncFile(fd, WriteOperation, path);
    file.close(WriteOperation, path);
}

} // namespace files

} // namespace cardomine::platform
