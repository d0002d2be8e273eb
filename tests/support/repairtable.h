// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The start-up's repair table: every state of the data and index files a start may
// find (work cut short included), laid out in a temporary drive, with the boxes the
// start shows after the two About boxes. The start-up tests and check's forecast
// are driven by this one table.

#include "platform/messages.h"
#include "tests/support/tempdrive.h"

#include <QByteArray>
#include <QList>

namespace cardomine::testing::repairtable {

enum class FileState
{
    Missing,
    Sealed,
    Archived,
    Writable,
    Unsealed // set to normal by a record routine that was cut short
};

// A record routine (an edit of record 2) was cut short, its pending-work marker left
// beside the files, and then something else happened to the files or the marker.
enum class Interrupted
{
    No,
    Untouched,     // the files are as the marker names them
    DataGrew,      // the data file's size is not one it names
    RecordChanged, // record 2 is neither its old nor its new version
    RecordTorn,    // record 2's write was cut short: part new, part old
    AppendTorn,    // a new record 4 was cut short, and the failed save sealed the file again
    IndexChanged,  // the index is not a version it names
    MarkerGarbled,
    MarkerTruncated,
    ReadUntouched,    // a read of a record was cut short instead, the files as it left them
    ReadFinished,     // the read had finished: its spent marker names nothing
    ReadIndexChanged, // a read was cut short, and the index file changed since
    ReadDataChanged   // a read was cut short, and the data file was written since
};

extern const platform::MessageBox IndexCreatedBox;
extern const platform::MessageBox IndexCorruptedBox;
extern const platform::MessageBox DoNotAlterIndexBox;
extern const platform::MessageBox DataFileCreatedBox;
extern const platform::MessageBox DataFileRebuildBox;

QByteArray createdIndexBytes();
QByteArray indexBytes(int count, const QByteArray &fileType = "R");
QByteArray recordBytes(int id, const QString &firstName);
QByteArray threeRecords();

// Writes a file with the given bytes, then gives it the state asked for.
void prepare(const TempDrive &drive, const QString &path, const QByteArray &bytes, int seal,
             FileState state);

// Adds the columns index, data (FileState), messages (QList<MessageBox>), rebuilt
// (both files back to the first-run state) and interrupted (Interrupted), and a row
// for every state.
void addRows();

// What a row lays out: the old index (3 records), data file and notes of contact 1.
struct Layout
{
    QByteArray oldIndex;
    QByteArray oldData;
    QByteArray oldNotes;
    bool existing = false; // any file of the card file was there before the start
};
// Lays out the files of a row (notes of contacts 1 and 2 beside existing files, the
// marker of interrupted work and what happened since).
Layout layOut(const TempDrive &drive, FileState index, FileState data, Interrupted interrupted);

} // namespace cardomine::testing::repairtable
