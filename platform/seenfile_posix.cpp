// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/seenfile.h"

#include "platform/posixio.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cardomine::platform {

namespace files {

namespace {

QByteArray digestOf(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

} // namespace

SeenFile SeenFile::missing()
{
    return {};
}

SeenFile SeenFile::holding(QByteArrayView bytes)
{
    SeenFile seen;
    seen.m_missing = false;
    seen.m_size = bytes.size();
    seen.m_digest = digestOf(bytes);
    return seen;
}

bool SeenFile::sameBytes(QByteArrayView bytes) const
{
    return !m_missing && bytes.size() == m_size && digestOf(bytes) == m_digest;
}

} // namespace files

namespace posixio {

namespace {

// Whether the file at native is a regular file holding the bytes seen. A file that cannot
// be read counts as changed, so the caller leaves it alone.
bool holdsSeen(const QByteArray &native, const files::SeenFile &seen)
{
    const int fd = sysCall("open", [&] {
        return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    });
    if (fd < 0)
        return false;
    Descriptor file(fd);
    struct stat info
    {};
    if (sysCall("fstat", [&] { return ::fstat(fd, &info); }) != 0 || !S_ISREG(info.st_mode) ||
        std::int64_t(info.st_size) != seen.size())
        return false;
    // One byte more than seen is asked for, so a file that grew since the fstat differs.
    QByteArray bytes(qsizetype(seen.size()) + 1, Qt::Uninitialized);
    const qsizetype got = readInto(fd, bytes.data(), bytes.size(), -1, ReadEnd::AtEmptyRead);
    file.closeAfterReading();
    return got >= 0 && seen.sameBytes(QByteArrayView(bytes).first(got));
}

bool exchange(const QByteArray &one, const QByteArray &other)
{
    return sysCall("renameat2", [&] {
               return ::renameat2(AT_FDCWD, one.constData(), AT_FDCWD, other.constData(),
                                  RENAME_EXCHANGE);
           }) == 0;
}

} // namespace

bool replaceIfSeen(QByteArray &temporary, const QByteArray &native, const files::SeenFile &seen,
                   std::uint64_t ours, const QString &operation, const QString &programPath)
{
    // Removes the temporary file, which holds this program's own version.
    const auto drop = [&] {
        if (sysCall("unlink", [&] { return ::unlink(temporary.constData()); }) != 0)
            fail(operation, programPath, errno);
        temporary.clear();
    };
    // From here on the temporary name holds another program's version: never removed.
    const auto failKeeping = [&](int error) {
        temporary.clear();
        fail(operation, programPath, error);
    };
    if (seen.isMissing()) {
        const int error = placeWithoutReplacing(temporary, native);
        if (error == EEXIST) {
            drop();
            return false;
        }
        if (error != 0)
            fail(operation, programPath, error);
        temporary.clear();
        return true;
    }
    if (!exchange(temporary, native)) {
        if (errno == ENOENT) { // deleted since: it stays deleted
            drop();
            return false;
        }
        if (errno != EINVAL && errno != ENOSYS)
            fail(operation, programPath, errno);
        // A file system without RENAME_EXCHANGE: compared just before the rename.
        if (!holdsSeen(native, seen)) {
            drop();
            return false;
        }
        if (sysCall("rename",
                    [&] { return ::rename(temporary.constData(), native.constData()); }) != 0)
            fail(operation, programPath, errno);
        temporary.clear();
        return true;
    }
    // The new version is in place, the one it replaced under the temporary name, where it
    // is compared: no other program writes there, so what it holds is what was replaced.
    if (holdsSeen(temporary, seen)) {
        drop();
        return true;
    }
    // Changed since it was read: the other program's version goes back. One that reached
    // the name in between is newer still, and goes in place instead.
    if (!exchange(temporary, native))
        failKeeping(errno);
    struct stat info
    {};
    if (sysCall("lstat", [&] { return ::lstat(temporary.constData(), &info); }) != 0)
        failKeeping(errno);
    if (std::uint64_t(info.st_ino) == ours) {
        drop();
        return false;
    }
    if (sysCall("rename", [&] { return ::rename(temporary.constData(), native.constData()); }) != 0)
        failKeeping(errno);
    temporary.clear();
    return false;
}

} // namespace posixio

namespace files {

using namespace posixio;

bool deleteNativeFileIfSeen(const QString &nativePath, const SeenFile &seen)
{
    const QString operation = QStringLiteral("delete");
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        fail(operation, nativePath, EINVAL);
    const QByteArray native = QFile::encodeName(nativePath);
    faults::replacing(nativePath);
    // Moved aside under a name of this program's (a temporary file's, which a pass killed
    // here leaves to be cleared away), where no other program writes, and compared there.
    static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray aside;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        aside = folderOf(native) + "/." + nameOf(native) + ".tmp-";
        for (int i = 0; i < 6; ++i)
            aside += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters) - 1)];
        error = placeWithoutReplacing(native, aside);
    }
    if (error == ENOENT)
        return true;
    if (error != 0)
        fail(operation, nativePath, error);
    if (holdsSeen(aside, seen)) {
        if (sysCall("unlink", [&] { return ::unlink(aside.constData()); }) != 0)
            fail(operation, nativePath, errno);
        syncFolder(folderOf(native), operation, nativePath);
        return true;
    }
    // Changed since it was read: put back under its name. Should another program have
    // written a new file there meanwhile, that one stays, and the version moved aside
    // stays under the name it was moved to.
    error = placeWithoutReplacing(aside, native);
    if (error != 0 && error != EEXIST)
        fail(operation, nativePath, error);
    return false;
}

} // namespace files

} // namespace cardomine::platform
