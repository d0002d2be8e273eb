// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// What the random-form data file holds, by its length.
namespace cardomine::datafile {

// The records the file reaches into, a cut-short last one included; 0 when there is
// no file. At most ContactRecord::MaxNumber + 1, so that a longer file still counts
// as full.
int recordsReached(const QString &path);

// Its whole records only; 0 when there is no file.
int wholeRecords(const QString &path);

// The same two counts for a data file of `size` bytes.
int recordsReachedBySize(std::int64_t size);
int wholeRecordsBySize(std::int64_t size);

} // namespace cardomine::datafile
