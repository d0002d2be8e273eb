#include "datastore/notesfile.h"

#include "datastore/paths.h"
#include "datastore/recovered.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <QSet>
#include <QStringList>

namespace cardomine::notes {

namespace files = platform::files;
namespace text = platform::text;

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

void ensureNotesFolder()
{
    if (!files::folderExists(paths::NotesFolder))
        files::createFolder(paths::NotesFolder);
}

} // namespace

QString fileName(int contactId)
{
    return QString::number(contactId) + u".txt";
}

QString pathFor(int contactId)
{
    return paths::NotesFolder + u'\\' + fileName(contactId);
}

QString read(int contactId)
{
    std::optional<QByteArray> found = files::readBytesIfFile(pathFor(contactId), ReadLimit + 1);
    if (!found)
        return {};
    return fromFileBytes(std::move(*found));
}

QString fromFileBytes(QByteArray bytes)
{
    if (bytes.size() > ReadLimit) {
        bytes.truncate(ReadLimit);
        return text::decode(bytes) + cutNotice();
    }
    // Writing adds one line end; taking exactly that one off again keeps a
    // load-then-save from growing the file.
    if (bytes.endsWith(LineEnd))
        bytes.chop(LineEnd.size());
    return text::decode(bytes);
}

QString cutNotice()
{
    return QStringLiteral("\r\n[Cardomine shows only the first MiB of this notes file and will "
                          "not change it.]");
}

bool tooBigToSave(int contactId)
{
    const QString path = pathFor(contactId);
    return files::fileExists(path) && files::fileSize(path) > ReadLimit;
}

PreparedWrite prepareWrite(int contactId, const QString &notesText)
{
    const QString path = pathFor(contactId);
    PreparedWrite prepared;
    if (notesText.isEmpty()) {
        // Cleared notes stay cleared, but the program never deletes a notes file and
        // never makes an empty one.
        if (files::fileExists(path) && files::fileSize(path) > 0)
            prepared.m_file = files::PreparedReplacement::prepare(path, QByteArray());
        return prepared;
    }
    ensureNotesFolder();
    const QByteArray bytes = text::encode(notesText) + LineEnd;
    // Saving an edit whose notes were not touched finds the file already right; it is
    // still flushed, as whoever wrote it may not have.
    if (!files::flushIfHolding(path, bytes))
        prepared.m_file = files::PreparedReplacement::prepare(path, bytes);
    return prepared;
}

void write(int contactId, const QString &notesText)
{
    prepareWrite(contactId, notesText).commit();
}

bool hasNotesFile(int contactId)
{
    return files::fileExists(pathFor(contactId));
}

QList<int> withNotesFiles(const QList<int> &contactIds)
{
    if (contactIds.isEmpty() || !files::folderExists(paths::NotesFolder))
        return {};
    // Compared without case, so that a name the drive would match is never missed.
    QSet<QString> present;
    for (const QString &name : files::listFiles(paths::NotesFolder))
        present.insert(name.toLower());
    QList<int> found;
    for (const int contactId : contactIds) {
        if (present.contains(QString::number(contactId) + u".txt"))
            found.append(contactId);
    }
    return found;
}

PreparedWrites prepareWrites(const QList<std::pair<int, QString>> &notes)
{
    QList<int> ids;
    for (const auto &n : notes)
        ids.append(n.first);
    const QList<int> existing = withNotesFiles(ids);
    const QSet<int> existingSet(existing.begin(), existing.end());
    PreparedWrites prepared;
    bool folderChecked = false;
    for (const auto &[contactId, notesText] : notes) {
        if (existingSet.contains(contactId)) {
            prepared.m_existing.push_back(prepareWrite(contactId, notesText));
            continue;
        }
        // No file and no notes: nothing to write (an empty file is never made).
        if (notesText.isEmpty())
            continue;
        if (!folderChecked) {
            ensureNotesFolder();
            folderChecked = true;
        }
        prepared.m_files.addNew(paths::NotesFolder, fileName(contactId),
                                text::encode(notesText) + LineEnd);
    }
    prepared.m_files.flush();
    return prepared;
}

void PreparedWrites::commit()
{
    m_files.commit();
    for (PreparedWrite &write : m_existing)
        write.commit();
    m_existing.clear();
}

void setAsideEarlierNotes(int contactId)
{
    if (files::fileExists(pathFor(contactId)))
        recovered::setAside(pathFor(contactId));
}

QStringList sampleLines()
{
    return {
        QStringLiteral("These are an example of contact notes."),
        QStringLiteral("They have been created by Cardomine (tm).  You can use any text editor to "
                       "add to or change these notes."),
        QStringLiteral("If you don't want them, simply delete the note file of your contact by "
                       "locating the file in. . ."),
        QStringLiteral(
            "c:\\Program Files\\Pelvarin\\Contact Notes\\(ContactID).txt, where ContactID "
            "is the number of the contact's notes you'd like to erase."),
    };
}

void writeSample()
{
    ensureNotesFolder();
    files::replaceBytes(pathFor(1), text::joinLines(sampleLines()));
}

} // namespace cardomine::notes
