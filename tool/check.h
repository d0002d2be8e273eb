// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/repairplan.h"

#include <QStringList>

// What the next start of the program would find in the data folder, worked out
// without changing anything: only existence tests, attribute reads and byte reads.
namespace cardomine::tool {

struct CheckReport
{
    QStringList findings;      // what the files look like
    QStringList startActions;  // the messages and file changes of the next start, in order
    QStringList messageTitles; // the titles of the start's messages among them, in order
    bool startWouldChange = false;
    repairplan::RepairPlan plan; // every step of the next start's check-and-repair
};

// Throws platform::FileError when the folder cannot be read.
CheckReport checkDataFolder();

// The attribute bits by name: "read-only, hidden, system" ("normal" for 0).
QString describeAttributes(int attributes);

} // namespace cardomine::tool
