#pragma once

#include "platform/files.h"

#include <QList>
#include <QString>

#include <utility>
#include <vector>

namespace cardomine::notes {

// "c:\Program Files\Pelvarin\Contact Notes\<n>.txt"
QString pathFor(int contactId);
// "<n>.txt", the name inside the notes folder
QString fileName(int contactId);

// Notes files are shown up to this size. A bigger file (another program's, or a
// mistake) is shown cut, with a line saying so, and the program does not write it:
// saving the cut text would lose the rest.
inline constexpr qint64 ReadLimit = 1024 * 1024;
QString cutNotice();

// The notes of a contact: the file's text without the one CR LF the program adds
// when it writes; the empty text when there is no file.
QString read(int contactId);
// The notes a file's bytes hold, as read() gives them (read at most ReadLimit + 1
// bytes of the file).
QString fromFileBytes(QByteArray bytes);

// Whether the contact's notes file is too big to be written back (see ReadLimit).
bool tooBigToSave(int contactId);

// Saves notes: the text followed by one CR LF, replacing the file atomically. An
// empty text empties an existing file and creates none. The notes folder is created
// when it is missing.
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

// A new contact starts without notes: a notes file already under its number (left by
// a card file the start-up repair set aside, say) belongs to someone else and is
// moved to Recovered/, never emptied or replaced.
void setAsideEarlierNotes(int contactId);

// The four lines of the sample notes file of contact 1, without line ends.
QStringList sampleLines();
// Writes the sample notes file of contact 1 (replacing any file of that name).
void writeSample();

} // namespace cardomine::notes
