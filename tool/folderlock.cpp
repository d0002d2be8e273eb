#include "tool/folderlock.h"

#include "datastore/dataerror.h"
#include "datastore/paths.h"

namespace cardomine::tool {

std::unique_ptr<platform::InstanceLock> lockDataFolder()
{
    auto lock = std::make_unique<platform::InstanceLock>(paths::DataFolder);
    if (lock->tryLock())
        return lock;
    if (lock->status() == platform::InstanceLock::Status::HeldElsewhere)
        throw DataError(lock->folder(),
                        QStringLiteral("the card file is in use (Cardomine or another "
                                       "cardomine-tool command is working on it); close it "
                                       "and try again. Nothing was changed."));
    throw DataError(lock->folder(), lock->errorString() + QStringLiteral(". Nothing was changed."));
}

} // namespace cardomine::tool
