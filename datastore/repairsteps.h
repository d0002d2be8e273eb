// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/repairplan.h"

// The steps of the start's check-and-repair that change files, carried out: written
// once for the program's start and for the commands that make a card file as the
// first run makes it.
namespace cardomine::repairplan {

// Carries out a step that changes files. Returns false, doing nothing, for the steps
// that are not about files (ShowNotice, ReadIndex, Finished), which the caller carries
// out. GiveUp sets the data file aside and throws DataError with the reason; a failing
// file operation throws platform::FileError.
bool performFileStep(const Step &step);

// Whether the data folder holds none of the card file's files: no index, no data file,
// no notes file, no pending-work marker (the folder itself may exist, or not). A folder
// holding any of them (an index lost beside a data file) is not fresh.
bool isFresh(const FolderState &state);

// Makes the card file in a fresh data folder exactly as the program's first run does
// (the folders, the index, the sample contact with its notes, all sealed), without its
// messages. Returns the messages the program would have shown.
QList<Notice> createAsFirstRun();

} // namespace cardomine::repairplan
