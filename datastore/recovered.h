// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Files the program would otherwise destroy are moved aside instead, into the data
// folder's "Recovered" folder as "<name>.<yyyymmdd-hhmmss>" (with "-2", "-3", ...
// when that name is taken), so nothing a user had is ever lost.
namespace cardomine::recovered {

// Moves the file there and returns the program path it was moved to.
QString setAside(const QString &path);

// setAside under another name: "<name>.<yyyymmdd-hhmmss>".
QString setAsideAs(const QString &path, const QString &name);

// Writes a copy of the file there, flushed to disk, and returns its program path. The
// file itself stays in place, for work that replaces it whole by a rename and must
// never leave it missing.
QString keepCopy(const QString &path);

// The notes files of contacts 1 to lastContact that exist, set aside with their photo
// files: what belonged to the records of a data file the start-up repair sets aside.
void setAsideNotes(int lastContact);

} // namespace cardomine::recovered
