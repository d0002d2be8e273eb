#pragma once

#include <QString>

namespace cardomine::startup {

// The files the start-up repair would delete are moved aside instead, into the data
// folder's "Recovered" folder as "<name>.<yyyymmdd-hhmmss>" (with "-2", "-3", ...
// when that name is taken), so nothing a user had is ever destroyed.
// Returns the program path the file was moved to.
QString moveAside(const QString &path);

// Moves the data file aside together with the notes files of the records it holds:
// the rebuilt card file starts from record 1 again, and its new contacts must not
// take over the old contacts' notes.
void moveDataFileAside();

// The count of an index file created beside an existing data file: the whole records
// that file holds (at least 1), so that every one of them stays reachable and Create
// New never hands out a number already used. 1 when there is no sealed data file.
int countForCreatedIndex();

} // namespace cardomine::startup
