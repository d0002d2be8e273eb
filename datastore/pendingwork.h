#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

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
};

// "c:\Program Files\Pelvarin\Cardomine.pending"
QString markerPath();

QByteArray format(const Expected &expected);
// False when the text is not a marker.
bool parse(const QByteArray &text, Expected *expected);

// Writes the marker, flushed to disk, before work that writes starts.
void begin(const Expected &expected);
// The same for work that only reads (the data file is unsealed just to be read), with
// endReading after it. Browsing does this at every record, so the marker is cheap: it
// is not flushed (it need only outlive the program being killed), and a power cut may
// lose it (the files then go through the repair at the next start, which keeps them
// under Recovered/, so nothing is lost either way). Nor is it removed and created
// again each time: it is rewritten in place, and endReading spoils its last line end
// so that it names nothing. A marker written only in part keeps the spoilt end.
void beginReading(const Expected &expected);
void endReading() noexcept;
// Removes a marker that names no work, as endReading leaves it; for a clean exit.
void removeSpent() noexcept;

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

// Leftovers of a marker write cut short (".Cardomine.pending.tmp-*" in the data
// folder) are removed; they hold nothing the start needs.
void removeLeftovers() noexcept;

// At start, before the seal check: when a marker is found and both files are in a
// state it names (a torn write put back first, see undoTornWrite), seals them (index 5, data 7; the
// data file alone when the work left the index alone). The marker is removed either way. Returns
// whether it sealed the files.
bool finishInterrupted();

} // namespace cardomine::pendingwork
