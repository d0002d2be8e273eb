#pragma once

#include <QString>

#include <memory>

namespace cardomine::platform {

// Keeps a second copy of the program off the same data folder: a lock file beside
// the folder, held while the program runs. A lock left by a copy that crashed is
// taken over.
class InstanceLock
{
public:
    // lockPath is a program path ("c:\Program Files\Pelvarin.lock"); its folder is
    // created when missing.
    explicit InstanceLock(const QString &lockPath);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when this copy now holds the lock.
    bool tryLock();
    // Why tryLock() failed, for the user.
    QString errorString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cardomine::platform
