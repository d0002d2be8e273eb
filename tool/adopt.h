// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// cardomine-tool adopt: brings an existing card file in, as the program's own sealed
// card file. The source is a copy of an old data folder (names in any letter case),
// or the card file already in the data folder whose only fault is a broken seal (a
// folder copied in with a plain `cp -r`, which drops the seal).
namespace cardomine::tool {

struct AdoptOptions
{
    QString folder; // native path of the old data folder; empty: the card file in place
    bool dryRun = false;
};

struct AdoptResult
{
    QStringList found; // what the source holds
    QStringList done;  // what was done (or, with dryRun, would be done)
    // "<file>: <fault>" when the source cannot be adopted; nothing was changed then.
    QString fault;
    bool changed = false;
    bool ok() const { return fault.isEmpty(); }
};

// Validates the source and, unless dryRun, installs it: the card file in place is
// copied to Recovered/ first, the new files are written beside theirs and put in
// place, then sealed. Holds the data folder's lock for the whole run (a dry run over
// a data folder that does not exist yet takes none, as it would have to create it).
// Throws DataError when the lock is held elsewhere, platform::FileError when a file
// operation fails.
AdoptResult adopt(const AdoptOptions &options);

} // namespace cardomine::tool
