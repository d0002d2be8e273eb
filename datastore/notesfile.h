// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace cardomine::notes {

// "c:\Program Files\Pelvarin\Contact Notes\<n>.txt"
QString pathFor(int contactId);
// "<n>.txt", the name inside the notes folder
QString fileName(int contactId);

// The one limit on a contact's notes, in bytes of its notes file (line ends, CR LF,
// included): the box takes no typing or paste past it, a save never writes a bigger
// file, and a bigger file (another program's) is shown cut and left as it is. It is
// meant to be the largest file the window shows in under 100 ms, but never below
// 1 MiB. Measured with the program itself under Xvfb and IceWM (xdotool timing the
// main window's appearance after the last About box, which is when record 1's notes
// are put in the box; 5 runs each, 70-character lines, a 2-core machine at a load
// average of about 20): no notes 258-581 ms, 512 KiB 265-1055 ms, 1 MiB 1272-2020 ms.
// Even 1 MiB takes far longer than 100 ms, so the limit is that floor.
inline constexpr qint64 FileLimit = 1024 * 1024;
// The same limit, for the readers that bound what they read of a notes file.
inline constexpr qint64 ReadLimit = FileLimit;
QString cutNotice();

// The size of the notes file write() makes of text: its Windows-1252 bytes and the
// one CR LF added at the end, each line end counted as CR LF however the text ends
// it (the notes box ends lines with a line feed).
qint64 fileBytes(const QString &text);

// The notes of a contact as the notes box shows them.
struct Loaded
{
    QString text;
    // The file is bigger than FileLimit, or its text would be once saved: the text is
    // its beginning, with cutNotice(), and the file is not to be written.
    bool cut = false;
};
Loaded load(int contactId);

// The notes of a contact: the file's text without the one CR LF the program adds
// when it writes; the empty text when there is no file.
QString read(int contactId);
// The notes a file's bytes hold, as read() gives them (read at most ReadLimit + 1
// bytes of the file).
QString fromFileBytes(QByteArray bytes);
// The bytes whose Windows-1252 text is fromFileBytes(bytes), for searching notes
// without decoding them: the file less the CR LF the program adds. Nothing for a file
// so long that its text may be cut or get cutNotice().
std::optional<QByteArrayView> plainTextBytes(QByteArrayView bytes);

// Whether the contact's notes file is too big to be written back (see FileLimit).
bool tooBigToSave(int contactId);

// Saves notes: the text followed by one CR LF, replacing the file atomically. An
// empty text empties an existing file and creates none. The notes folder is created
// when it is missing. A text past FileLimit is refused (DataError), nothing written.
void write(int contactId, const QString &text);

// write() in two steps, for a save that must store the notes with the record or not
// at all: prepareWrite does every check and has the new file flushed to disk beside
// the old one; commit() puts it in place. Nothing visible changes before commit
// (except a missing notes folder, which is created).
class PreparedWrite
{
public:
    void commit() { m_file.commit(); }

private:
    friend PreparedWrite prepareWrite(int contactId, const QString &text);
    platform::files::PreparedReplacement m_file;
};
PreparedWrite prepareWrite(int contactId, const QString &text);

// prepareWrite for the notes of many contacts, flushed together: the notes folder is
// listed once, the new files are written and then made durable in one flush, and
// commit() puts them all in place with one flush of the folder. A contact that already
// has a notes file is prepared as prepareWrite does it.
class PreparedWrites
{
public:
    void commit();

private:
    friend PreparedWrites prepareWrites(const QList<std::pair<int, QString>> &notes);
    platform::files::PreparedReplacements m_files;
    std::vector<PreparedWrite> m_existing;
};
PreparedWrites prepareWrites(const QList<std::pair<int, QString>> &notes);

// Whether the contact has a notes file.
bool hasNotesFile(int contactId);
// The contacts among contactIds that have a notes file, from one listing of the notes
// folder (none when it is missing).
QList<int> withNotesFiles(const QList<int> &contactIds);

// The bytes write() puts in the contact's notes file for text (none for no text).
QByteArray bytesFor(const QString &text);
// SHA-256, as a save's marker names the new notes by it.
QByteArray digestOf(const QByteArray &bytes);

// Temporary notes files left by a save that was cut short (".<n>.txt.tmp-*" in the
// notes folder). They may hold notes the user typed, so they are never removed: the
// start moves them to Recovered/ (without the leading dot, so they are seen there).
int countLeftovers();
void setAsideLeftovers();
// Those of one notes file ("<n>.txt").
QStringList leftoverNamesFor(const QString &fileName);

// A new contact starts without notes: a notes file already under its number (left by
// a card file the start-up repair set aside, say) belongs to someone else and is
// moved to Recovered/, never emptied or replaced.
void setAsideEarlierNotes(int contactId);

// The four lines of the sample notes file of contact 1, without line ends.
QStringList sampleLines();
// Writes the sample notes file of contact 1 (replacing any file of that name).
void writeSample();

} // namespace cardomine::notes
