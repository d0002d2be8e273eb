// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/notesfile.h"

#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "datastore/recovered.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <QCryptographicHash>
#include <QRegularExpression>
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

namespace {

// Any line end the notes box would make of the text (CR LF, a lone CR or LF, a line
// or paragraph separator) becomes CR LF, as a save writes it.
QString withFileLineEnds(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == u'\r' || ch == u'\n' || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator) {
            if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += QLatin1String("\r\n");
        } else {
            out += ch;
        }
    }
    return out;
}

Loaded loadFromBytes(QByteArray bytes)
{
    if (bytes.size() > FileLimit) {
        bytes.truncate(FileLimit);
        return {text::decode(bytes) + cutNotice(), true};
    }
    // Writing adds one line end; taking exactly that one off again keeps a
    // load-then-save from growing the file.
    if (bytes.endsWith(LineEnd))
        bytes.chop(LineEnd.size());
    Loaded loaded{text::decode(bytes), false};
    // Lone line feeds (another editor's) become CR LF when saved: a file that would
    // then pass the limit is left as it is, like a bigger one.
    if (bytes.size() + LineEnd.size() > FileLimit / 2 && fileBytes(loaded.text) > FileLimit) {
        loaded.text += cutNotice();
        loaded.cut = true;
    }
    return loaded;
}

} // namespace

qint64 fileBytes(const QString &notesText)
{
    return text::encode(withFileLineEnds(notesText)).size() + LineEnd.size();
}

Loaded load(int contactId)
{
    std::optional<QByteArray> found = files::readBytesIfFile(pathFor(contactId), FileLimit + 1);
    if (!found)
        return {};
    return loadFromBytes(std::move(*found));
}

QString read(int contactId)
{
    return load(contactId).text;
}

QString fromFileBytes(QByteArray bytes)
{
    return loadFromBytes(std::move(bytes)).text;
}

std::optional<QByteArrayView> plainTextBytes(QByteArrayView bytes)
{
    // Up to half the limit, line end included, the text stays within the limit once
    // saved even with every line end doubled: it is never cut nor given the notice.
    if (bytes.size() + LineEnd.size() > FileLimit / 2)
        return std::nullopt;
    return bytes.endsWith(LineEnd) ? bytes.chopped(LineEnd.size()) : bytes;
}

QString cutNotice()
{
    return QStringLiteral("\r\n[Cardomine shows only the first MiB of this notes file and will "
                          "not change it.]");
}

bool tooBigToSave(int contactId)
{
    const QString path = pathFor(contactId);
    return files::fileExists(path) && files::fileSize(path) > FileLimit;
}

QByteArray bytesFor(const QString &notesText)
{
    return notesText.isEmpty() ? QByteArray() : text::encode(notesText) + LineEnd;
}

QByteArray digestOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
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
    const QByteArray bytes = bytesFor(notesText);
    if (bytes.size() > FileLimit)
        throw DataError(path, QStringLiteral("the notes would take %1 bytes, and a notes file "
                                             "holds at most %2")
                                  .arg(bytes.size())
                                  .arg(FileLimit));
    ensureNotesFolder();
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

namespace {

// "." + "<n>.txt" + ".tmp-" + six letters or digits, as a replacement names it.
bool isLeftoverName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.[0-9]+\\.txt\\.tmp-[A-Za-z0-9]{6}$"));
    return pattern.match(name).hasMatch();
}

QStringList leftoverNames()
{
    if (!files::folderExists(paths::NotesFolder))
        return {};
    QStringList found;
    for (const QString &name : files::listFiles(paths::NotesFolder)) {
        if (isLeftoverName(name))
            found.append(name);
    }
    return found;
}

} // namespace

int countLeftovers()
{
    return int(leftoverNames().size());
}

QStringList leftoverNamesFor(const QString &fileName)
{
    QStringList found;
    for (const QString &name : leftoverNames()) {
        if (name.startsWith(u'.' + fileName + u".tmp-"))
            found.append(name);
    }
    return found;
}

void setAsideLeftovers()
{
    for (const QString &name : leftoverNames())
        recovered::setAsideAs(paths::NotesFolder + u'\\' + name, name.mid(1));
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
