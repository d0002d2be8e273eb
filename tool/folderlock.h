// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/dataerror.h"
#include "platform/instancelock.h"

#include <memory>

namespace cardomine::tool {

// The card file is in use by Cardomine or another command: nothing is wrong, try again
// later.
class FolderBusy : public DataError
{
public:
    using DataError::DataError;
};

// The program's own lock on the data folder, for the commands that write the card
// file (adopt, import, sync): held for as long as the returned object lives, so that
// neither the program nor a second command can work on the files meanwhile. Throws
// FolderBusy, naming the folder, when the program or another command holds it, and
// DataError when the folder cannot be used.
std::unique_ptr<platform::InstanceLock> lockDataFolder();

// A card file whose seal is broken, or whose last save was cut short, is rebuilt by the
// next start, which would set aside whatever a command added to it: such a card file is
// refused (DataError telling the user what to do, then to run `command` again), as is
// a data folder that holds no card file yet.
void requireSealedCardFile(const QString &command);

// A save of the card file cut short (a killed pass's append, say) whose marker names the
// state the files are in is finished as the program's start finishes it, which loses
// nothing; anything else is left for the start's repair (and refused by
// requireSealedCardFile). Call with the lock held.
void finishCutShortSave();

} // namespace cardomine::tool
