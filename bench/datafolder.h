// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Data folders for the benchmarks, written straight to disk (no flushing: they are
// scratch data) and sealed through the program's own file services, so the program
// finds them exactly as it leaves its own files.
namespace cardomine::bench {

// Sets CARDOMINE_DRIVE_C for the guard's lifetime.
class DriveRoot
{
public:
    explicit DriveRoot(const QString &root);
    ~DriveRoot();
    DriveRoot(const DriveRoot &) = delete;
    DriveRoot &operator=(const DriveRoot &) = delete;

private:
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// Writes the data file, index file and a notes file for each of `count` contacts
// under the drive root `root`, and seals the data and index files.
bool makeDataFolder(const QString &root, int count);

// A card file of no contacts: the index counting 0 records, an empty data file and an
// empty notes folder, sealed.
bool makeEmptyCardFile(const QString &root);

// Cuts the card file back to its first `count` records (the index and the data file),
// sealed again, with the notes files of the records cut off removed, so that creates
// have free numbers.
bool keepFirstRecords(const QString &root, int count);

} // namespace cardomine::bench
