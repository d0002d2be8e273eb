#pragma once

#include <QString>

// What the random-form data file holds, by its length.
namespace cardomine::datafile {

// The records the file reaches into, a cut-short last one included; 0 when there is
// no file. At most ContactRecord::MaxNumber + 1, so that a longer file still counts
// as full.
int recordsReached(const QString &path);

// Its whole records only; 0 when there is no file.
int wholeRecords(const QString &path);

} // namespace cardomine::datafile
