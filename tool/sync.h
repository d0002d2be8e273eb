// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// One pass that keeps a vdir (a folder of .vcf files, one contact each, as vdirsyncer
// syncs with a CardDAV address book) in step with the card file, both ways.
namespace cardomine::tool {

// The state file inside the vdir: a dot-file vdirsyncer does not list (it lists only
// names ending in the vdir's file extension).
inline constexpr char SyncStateFileName[] = ".cardomine-sync-state";
// Beside it while a pass takes phone edits in: what the pass is about to write.
inline constexpr char SyncIntentFileName[] = ".cardomine-sync-intent";
// Where vdirsyncer's conflict command (see the README) sets aside the address book's
// version of a contact changed on both sides; the next pass puts it into the notes.
inline constexpr char SyncConflictFolderName[] = ".cardomine-conflicts";

struct SyncReport
{
    QStringList lines;  // what the pass did, one line each, for the user
    int added = 0;      // vCards new to the card file, appended as records
    int duplicates = 0; // vCards new to the vdir that a record already holds: not added
    int updated = 0;    // records written from a vCard changed in the vdir
    int conflicts = 0;  // values changed on both sides: the card file's kept
    int restored = 0;   // vCards deleted from the vdir and written again
    int written = 0;    // vCard files written (new or changed content)
    int leftAlone = 0;  // files unreadable, or changed by another program during the pass:
                        // reported and left as they are
    bool stateWritten = false;
};

// The pass. In: vCards new to the card file are appended as records; a vCard of ours
// changed since the last pass is written into its record and notes; when the record
// changed too, the two merge value by value, and a value changed on both keeps the card
// file's, the vCard's going into the notes.
// Out: every contact gets its vCard file, rewritten only when its content changes.
// Holds the card file's lock. Throws DataError or platform::FileError, before anything
// is changed, for a vCard that does not parse (naming its file and line) or a folder
// that cannot be written.
SyncReport syncVdir(const QString &nativeFolder);

// The UIDs of address-book vCards that a contact's notes keep in the section of values
// with no box ("UID: ..." lines).
QStringList uidsInNotes(const QString &notes);

// The vCard file name of a contact: its UID with the characters a file name or a URL
// should not hold replaced, and ".vcf".
QString vcardFileName(const QString &uid);

} // namespace cardomine::tool
