// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// A record routine sets the data file and the index file to normal while it works
// and seals them again after. A crash in between would leave them unsealed, and the
// next start would take them for files altered by someone else and rebuild them
// (the user's contacts set aside in Recovered/, the window showing the sample
// contact). So before a routine unseals anything it writes a small marker beside the
// data, naming every state the two files may be in while it works; it removes the
// marker once both are sealed again. A start that finds the marker, and finds both
// files in one of the named states, seals them again instead of repairing. Anything
// else (a file changed otherwise, a marker that does not parse) is left to the
// repair as before.
namespace cardomine::pendingwork {

struct Expected
{
    // The data file's possible lengths. Empty for work that only reads the data file:
    // the start then asks that its content be unchanged since its attributes were set
    // (no Archive), which is a closer check than a length and costs the read nothing.
    QList<std::int64_t> dataSizes;
    int recordNumber = 0;      // a random-form record being written, or 0
    QList<QByteArray> records; // its possible contents, as readRecord reads them
    // The index file's possible contents. Empty when the work leaves the index file
    // alone (it stays sealed): the start then checks it as usual and reseals only
    // the data file.
    QList<QByteArray> indexVersions;

    // A save's notes file, replaced after the records: the new file is written beside
    // it (".<n>.txt.tmp-*") once the marker is in place, and waits there complete
    // until the records are written.
    struct Notes
    {
        QString fileName;  // "<n>.txt", in the notes folder
        QByteArray digest; // SHA-256 of the new file's bytes

        bool operator==(const Notes &) const = default;
    };
    std::optional<Notes> notes;
};

// "c:\Program Files\Pelvarin\Cardomine.pending"
QString markerPath();

QByteArray format(const Expected &expected);
// False when the text is not a marker.
bool parse(const QByteArray &text, Expected *expected);

// Writes the marker, flushed to disk, before work that writes starts.
void begin(const Expected &expected);
// The same for work that only reads (the data file is unsealed just to be read), with
// endReading after it. Browsing does this at every record whose data file is not
// sealed already, so the marker is cheap: it
// is not flushed (it need only outlive the program being killed), and a power cut may
// lose it (the files then go through the repair at the next start, which keeps them
// under Recovered/, so nothing is lost either way). Nor is it removed and created
// again each time: it is rewritten in place, and endReading spoils its last line end
// so that it names nothing. A marker written only in part keeps the spoilt end.
void beginReading(const Expected &expected);
void endReading() noexcept;
// Removes a marker that names no work, as endReading leaves it; for a clean exit.
void removeSpent() noexcept;
// Lets the marker kept open for reads go and forgets its text, leaving the file on
// disk, as at the program's start.
void forgetReading() noexcept;

// Removes the marker after the work; a failure here loses nothing (the next start
// finds the files sealed and removes it), so it is not reported.
void end() noexcept;

// A record write cut short (a full disk or a file size limit part-way through, a
// power cut before the write was flushed) leaves the data file between the states
// the marker names: longer than before but shorter than after, or with the record
// written in part. Such a file is put back as it was before the work (its old length,
// the old record's bytes), which loses nothing that was ever saved. So is a file
// appended to (no record number named) whose index still holds its old version while
// a new one is named: the appended records are not in the card file yet. Returns whether
// the file is now in one of the named states; a file torn some other way is left
// alone. The data file must be writable (at normal).
bool undoTornWrite(const Expected &expected);

enum class TornWrite
{
    None,     // the data file's length and record are states the work names
    Undoable, // a write cut short, which undoTornWrite puts back
    Foreign   // changed some other way
};
// What undoTornWrite finds in a data file of `size` bytes whose record under work reads
// `record` (ignored when the work names no record), beside an index file holding
// `indexBytes` (empty when missing). Pure.
TornWrite classifyTornWrite(const Expected &expected, std::int64_t size, const QByteArray &record,
                            const QByteArray &indexBytes);

// Leftovers of a marker write cut short (".Cardomine.pending.tmp-*" in the data
// folder) are removed; they hold nothing the start needs.
void removeLeftovers() noexcept;
// How many such leftovers lie in the data folder.
int countLeftovers();

// The marker's named states; nothing when there is no marker or it does not parse.
std::optional<Expected> readMarker();

// What a marker found at start says about the two files.
enum class Finding
{
    None,     // no marker
    Foreign,  // it does not parse, or the files are not in a state it names
    Named,    // both files are in a state it names: sealing them loses nothing
    TornWrite // the data file holds a write cut short; put back, it is in a named state
};

// The files as a start sees them beside a marker.
struct FilesSeen
{
    bool data = false;
    bool index = false;
    std::int64_t dataSize = 0;
    int dataAttributes = 0;
    QByteArray indexBytes; // read only when the work names index versions
    QByteArray record;     // the record under work, read only when it names one
    // With notes named: the digest of the notes file (empty when missing or past the
    // notes limit), and whether a temporary file beside it holds the new notes whole.
    QByteArray notesDigest;
    bool newNotesWaiting = false;
};

// Pure: the finding for a parsed marker (nothing for one that does not parse).
Finding judge(const std::optional<Expected> &marker, const FilesSeen &files);

struct Examination
{
    Finding finding = Finding::None;
    bool namesIndex = false;        // the work rewrote the index: it is sealed again too
    std::int64_t sizeAfterUndo = 0; // the data file's length once a torn write is put back
    bool namesNotes = false;        // the work was a save of notes
    bool notesToFinish = false;     // its notes wait to be put in place
};

// Pure: whether a save's notes must still be put in place. The save went through
// when the data file and the index hold their new versions; its notes then go with
// it, so new notes waiting complete in the temporary file are put in place. Before
// that point the old notes stay, and the temporary file is a leftover.
bool notesToFinish(const Expected &expected, const FilesSeen &files);

// Puts the new notes a save left waiting in place, when notesToFinish says so.
void finishNotes();

// Reads the marker and the files it names, changing nothing.
Examination examine();

} // namespace cardomine::pendingwork
