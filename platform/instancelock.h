// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

namespace cardomine::platform {

// Keeps a second copy of the program off a data folder, whatever path leads to it:
// an operating-system lock (flock) on the folder itself, held by the kernel for as
// long as the holder runs. Nothing is left behind for a crash, a copy of the drive or
// another host to make stale. Anything that writes the card file takes it first.
class InstanceLock
{
public:
    enum class Status
    {
        Unlocked,      // tryLock() not called
        Locked,        // this copy holds the folder
        HeldElsewhere, // another copy holds it
        Failed,        // the folder cannot be used; see errorCode()
    };

    // folderPath is the program path of the data folder ("c:\Program Files\Pelvarin").
    // It and the folders above it are created when missing, the data folder private
    // to the user.
    explicit InstanceLock(const QString &folderPath);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when this copy now holds the lock. A folder that cannot be written (a
    // read-only file system, a full disk) is not locked: the program could not work
    // in it.
    bool tryLock();

    Status status() const;
    // The system's error code when the status is Failed (EROFS, ENOSPC, ...).
    int errorCode() const;
    // The folder's native path, for messages.
    QString folder() const;
    // Why tryLock() failed, for the user.
    QString errorString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cardomine::platform
