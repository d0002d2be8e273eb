#pragma once

#include "platform/instancelock.h"

#include <memory>

namespace cardomine::tool {

// The program's own lock on the data folder, for the commands that write the card
// file (adopt, import, sync): held for as long as the returned object lives, so that
// neither the program nor a second command can work on the files meanwhile. Throws
// DataError, naming the folder, when the program or another command holds it or the
// folder cannot be used.
std::unique_ptr<platform::InstanceLock> lockDataFolder();

} // namespace cardomine::tool
