// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The one reader of a card file (the index file, the data file in either form, the
// notes files) for everything outside the window: export, import, sync, check and
// adopt. It reads bytes only: it takes no lock, sets no attribute and writes nothing,
// so it is safe beside a running program.
//
// The card file is read as the program reads it: the record count and the file type
// by the index rules, every record from 1 to the count (random form) or every
// complete twelve-line record (sequential form), and each contact's notes from the
// notes file named by its number ("<n>.txt", in any letter case). Records nothing was
// written to (spaces and NUL bytes only) are left out with a warning.
namespace cardomine::cardfile {

// One contact as the card file holds it.
struct Contact
{
    int position = 0; // its place in the data file, from 1
    ContactRecord record;
    QString notes; // as the program shows them; empty without a notes file, or when not read
};

// A contact's notes file, as the notes folder lists it.
struct NotesFile
{
    int number = 0;
    QString name; // as spelt in the folder
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0; // modification time, nanoseconds since the epoch
    std::uint64_t inode = 0;
};

// A file of the photos folder that belongs to a contact (contactphotos.h).
struct PhotoFile
{
    int number = 0;
    QString name; // as spelt in the folder
    std::int64_t size = 0;
};

// Which records are read.
enum class Extent
{
    UpToCount, // random form: positions 1 to the record count, as the program shows them
    WholeFile  // random form: also the whole records past the count (check, adopt)
};

// How much of each record is decoded.
enum class RecordText
{
    Whole,
    // Only the number each record holds, in CardFile::numbers (check, find). In the
    // random form no record is decoded and contacts is left empty; blank records are
    // found as always. read() without keepBytes then takes the data file in pieces
    // and never holds it whole.
    NumberOnly
};

// Whether the notes files' texts are read (their listing always is).
enum class NotesText
{
    Read,
    Skip // the caller reads what it needs with notes::read
};

struct ReadOptions
{
    Extent extent = Extent::UpToCount;
    RecordText records = RecordText::Whole;
    NotesText notes = NotesText::Read;
    bool keepBytes = false; // keep the index and data files' bytes (adopt copies them)
    // read(): each notes file's size, time and inode (one stat per file). Without them
    // the notes folder is only listed, and NotesFile holds the number and name.
    bool notesFileFacts = true;
};

struct CardFile
{
    bool inDataFolder = false; // read by read(), not readFolder()
    QString folder;            // native path of the folder read, for messages
    QString indexName;         // the files' names as spelt in it
    QString dataName;
    QString notesFolderName;       // empty when there is no notes folder
    IndexTable index;              // the index as the program reads it
    int recordCount = 0;           // by the count rule
    QChar fileType = u'R';         // by the file-type rule
    bool fileTypeLine = true;      // false: no line gives the type; random is taken
    std::int64_t dataSize = 0;     // bytes
    int dataRecords = 0;           // whole 249-byte records, or complete 12-line records
    qsizetype sequentialLines = 0; // sequential form: the data file's lines
    QList<Contact> contacts;       // in position order, blank records left out
    QList<int> blankPositions;     // the positions left out as blank
    // RecordText::NumberOnly: for each position read, from 1, the number its record
    // holds (ContactRecord::contactNumber); none for a blank record.
    QList<std::optional<int>> numbers;
    QMap<int, NotesFile> notesFiles; // each contact number's notes file
    QStringList otherNotesFiles;     // files of the notes folder that are no notes file
    QStringList duplicateNotes;      // a second name for a number's notes ("5.TXT")
    QString photosFolderName;        // empty when there is no photos folder
    QList<PhotoFile> photoFiles;     // its files that belong to contacts, by name
    QStringList otherPhotoFiles;     // its other entries
    QStringList warnings;            // what was left out and why, for the user
    QByteArray indexBytes;           // with ReadOptions::keepBytes
    QByteArray dataBytes;
    std::optional<QByteArray> cardFileId; // readFolder: Cardomine.id's bytes (at most 257)

    // The contact at a position, if it is not blank.
    const Contact *atPosition(int position) const;
};

// The card file in the data folder. Throws DataError (a file that cannot be used: a
// missing data file, a count that is not a number) and platform::FileError.
CardFile read(const ReadOptions &options = {});

// A folder holding a copy of a card file (an old data folder: Cardomine.Dat,
// Index.tbl, Contact Notes/, names in any letter case), read with care, since it may
// come from anywhere: a symbolic link anywhere in it, a notes file bigger than the
// notes limit, a photo file bigger than photos::FileLimit, a data or index file bigger than any
// card file can be, an index file that does not hold exactly the lines the program writes, or two
// files with one name in different letter case are refused (DataError naming the file) before
// anything of them is read.
CardFile readFolder(const QString &nativeFolder, const ReadOptions &options = {});

// The data folder's index file's bytes as they are now, whatever they hold (for a
// marker that names the file as it is).
QByteArray currentIndexBytes();

// The bytes of a notes file of a card file read by readFolder or read, as they are
// (for a copy), bounded by the notes limit and never read through a link.
QByteArray notesFileBytes(const CardFile &card, const NotesFile &notes);

// The bytes of a photo file of a card file read by readFolder or read, bounded by
// photos::FileLimit and never read through a link.
QByteArray photoFileBytes(const CardFile &card, const PhotoFile &photo);

// The contact number a notes file's name gives: "<n>.txt", the ".txt" in any letter
// case, n from 1 written as the program writes it (no sign, no leading zero).
std::optional<int> notesNumber(const QString &name);

// Whether a record is one nothing was written to: spaces and NUL bytes only.
bool isBlank(const ContactRecord &record);
// The same for a random-form record's bytes (cut short: padded with spaces).
bool isBlankRandomRecord(QByteArrayView bytes);

} // namespace cardomine::cardfile
