// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/instancelock.h"

#include "platform/drive.h"
#include "platform/posixio.h"

#include <QFile>

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace cardomine::platform {

using posixio::sysCall;

namespace {

// Where the folder's file system cannot lock a folder (NFS, say, locks only files
// open for writing), a file inside it is locked instead.
const char FallbackLockName[] = ".Cardomine.lock";

bool unlockable(int errorCode)
{
    return errorCode == EBADF || errorCode == ENOLCK || errorCode == EOPNOTSUPP ||
           errorCode == EINVAL;
}

// Creates the folder and the missing folders above it, up to the drive root, with the
// given mode (the folders above the data folder are ordinary ones). Returns 0 or the
// system's error.
int makeFolders(const QByteArray &native, mode_t mode)
{
    struct stat info
    {};
    if (::stat(native.constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const qsizetype slash = native.lastIndexOf('/');
    if (slash > 0) {
        if (const int error = makeFolders(native.left(slash), 0777))
            return error;
    }
    if (sysCall("mkdir", [&] { return ::mkdir(native.constData(), mode); }) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

} // namespace

struct InstanceLock::Private
{
    QString programPath;
    QByteArray native;
    int fd = -1;
    int lockFd = -1;
    Status status = Status::Unlocked;
    int errorCode = 0;

    void release()
    {
        if (lockFd >= 0)
            ::close(lockFd);
        if (fd >= 0)
            ::close(fd);
        lockFd = -1;
        fd = -1;
    }
    bool failed(int error)
    {
        release();
        status = Status::Failed;
        errorCode = error;
        return false;
    }
};

InstanceLock::InstanceLock(const QString &folderPath)
    : d(std::make_unique<Private>())
{
    d->programPath = folderPath;
}

InstanceLock::~InstanceLock()
{
    d->release();
}

bool InstanceLock::tryLock()
{
    d->release();
    d->errorCode = 0;
    // Found in whatever letter case the folder has on disk.
    d->native = resolvePath(d->programPath).native;
    if (const int error = makeFolders(d->native, 0700))
        return d->failed(error);

    d->fd = sysCall(
        "open", [&] { return ::open(d->native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (d->fd < 0)
        return d->failed(errno);
    int locked = sysCall("flock", [&] { return ::flock(d->fd, LOCK_EX | LOCK_NB); });
    if (locked != 0 && unlockable(errno)) {
        d->lockFd = sysCall("open", [&] {
            return ::openat(d->fd, FallbackLockName,
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        });
        if (d->lockFd < 0)
            return d->failed(errno);
        locked = sysCall("flock", [&] { return ::flock(d->lockFd, LOCK_EX | LOCK_NB); });
    }
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            d->release();
            d->status = Status::HeldElsewhere;
            return false;
        }
        return d->failed(errno);
    }

    // The program writes at every step, browsing included: a folder it cannot write
    // is said so now, with its reason, rather than at every record.
    if (sysCall("access", [&] { return ::faccessat(d->fd, ".", W_OK, AT_EACCESS); }) != 0)
        return d->failed(errno);
    struct statvfs space
    {};
    if (sysCall("statvfs", [&] { return ::fstatvfs(d->fd, &space); }) == 0 && space.f_blocks > 0 &&
        (::geteuid() == 0 ? space.f_bfree : space.f_bavail) == 0)
        return d->failed(ENOSPC);

    d->status = Status::Locked;
    return true;
}

InstanceLock::Status InstanceLock::status() const
{
    return d->status;
}

int InstanceLock::errorCode() const
{
    return d->errorCode;
}

QString InstanceLock::folder() const
{
    return QFile::decodeName(d->native.isEmpty() ? resolvePath(d->programPath).native : d->native);
}

QString InstanceLock::errorString() const
{
    switch (d->status) {
    case Status::HeldElsewhere:
        return QStringLiteral("Another copy of Cardomine, or a cardomine-tool command that "
                              "changes the card file (adopt, import), is already running on the "
                              "data folder %1.")
            .arg(folder());
    case Status::Failed:
        return QStringLiteral("The data folder %1 cannot be written: %2.")
            .arg(folder(), QString::fromLocal8Bit(std::strerror(d->errorCode)));
    case Status::Unlocked:
    case Status::Locked:
        break;
    }
    return {};
}

} // namespace cardomine::platform
