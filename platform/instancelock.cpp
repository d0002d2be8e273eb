#include "platform/instancelock.h"

#include "platform/drive.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace cardomine::platform {

struct InstanceLock::Private
{
    QString nativePath;
    std::unique_ptr<QLockFile> lock;
    QString error;
};

InstanceLock::InstanceLock(const QString &lockPath)
    : d(std::make_unique<Private>())
{
    d->nativePath = nativePath(lockPath);
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock()
{
    const QString folder = QFileInfo(d->nativePath).path();
    if (!QDir().mkpath(folder)) {
        d->error = QStringLiteral("The folder %1 cannot be created.")
                       .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    d->lock = std::make_unique<QLockFile>(d->nativePath);
    // A lock whose owner no longer runs is removed by QLockFile itself; a lock that
    // is merely old is not taken over, since its owner may still be running.
    d->lock->setStaleLockTime(0);
    if (d->lock->tryLock(0))
        return true;
    switch (d->lock->error()) {
    case QLockFile::LockFailedError:
        d->error = QStringLiteral("Another copy of Cardomine is already running.");
        break;
    case QLockFile::PermissionError:
        d->error = QStringLiteral("The lock file %1 cannot be written.")
                       .arg(QDir::toNativeSeparators(d->nativePath));
        break;
    default:
        d->error = QStringLiteral("The lock file %1 cannot be used.")
                       .arg(QDir::toNativeSeparators(d->nativePath));
        break;
    }
    d->lock.reset();
    return false;
}

QString InstanceLock::errorString() const
{
    return d->error;
}

} // namespace cardomine::platform
