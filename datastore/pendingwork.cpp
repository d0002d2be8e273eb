// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/pendingwork.h"
#include "datastore/seal.h"

#include "datastore/contactrecord.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/rewrittenfile.h"

#include <QByteArrayList>
#include <QRegularExpression>

#include <algorithm>

namespace cardomine::pendingwork {

namespace files = platform::files;

namespace {

const QByteArray Magic = QByteArrayLiteral("Cardomine pending work 1");
// Enough for an index of many thousand lines, written twice in hex.
constexpr std::int64_t MarkerReadLimit = 16 * 1024 * 1024;

QByteArray hexList(const QList<QByteArray> &items)
{
    QByteArrayList hex;
    for (const QByteArray &item : items)
        hex.append(item.isEmpty() ? QByteArray("-") : item.toHex());
    return hex.join(' ');
}

bool parseHexList(const QByteArray &text, QList<QByteArray> *items)
{
    if (text.isEmpty())
        return true;
    for (const QByteArray &word : text.split(' ')) {
        if (word == "-") {
            items->append(QByteArray());
            continue;
        }
        if (word.isEmpty() || word.size() % 2 != 0)
            return false;
        for (char c : word) {
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
                return false;
        }
        items->append(QByteArray::fromHex(word));
    }
    return true;
}

} // namespace

QString markerPath()
{
    return paths::DataFolder + QStringLiteral("\\Cardomine.pending");
}

QByteArray format(const Expected &e)
{
    QByteArrayList sizes;
    for (std::int64_t size : e.dataSizes)
        sizes.append(QByteArray::number(qint64(size)));
    if (sizes.isEmpty())
        sizes.append("-");
    QByteArray text = Magic + "\nsizes " + sizes.join(' ') + "\nrecord " +
                      QByteArray::number(e.recordNumber) + ' ' + hexList(e.records) + "\nindex " +
                      hexList(e.indexVersions) + '\n';
    if (e.notes)
        text += "notes " + e.notes->fileName.toLatin1() + ' ' + e.notes->digest.toHex() + '\n';
    return text;
}

namespace {

// "notes <n>.txt <digest>": only a notes file's name, so that a marker can never have
// other files moved.
bool parseNotes(const QByteArray &line, Expected::Notes *notes)
{
    const QByteArrayList words = line.split(' ');
    if (words.size() != 3 || words.at(0) != "notes" || words.at(2).size() != 64)
        return false;
    static const QRegularExpression notesName(QStringLiteral("^[0-9]{1,5}\\.txt$"));
    const QString fileName = QString::fromLatin1(words.at(1));
    if (!notesName.match(fileName).hasMatch())
        return false;
    for (char c : words.at(2)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    *notes = {fileName, QByteArray::fromHex(words.at(2))};
    return true;
}

} // namespace

bool parse(const QByteArray &text, Expected *expected)
{
    const QByteArrayList lines = text.split('\n');
    if ((lines.size() != 5 && lines.size() != 6) || lines.at(0) != Magic || !lines.last().isEmpty())
        return false;
    Expected e;
    if (lines.size() == 6) {
        Expected::Notes notes;
        if (!parseNotes(lines.at(4), &notes))
            return false;
        e.notes = notes;
    }
    if (!lines.at(1).startsWith("sizes "))
        return false;
    const QByteArray sizes = lines.at(1).mid(6);
    for (const QByteArray &word : sizes == "-" ? QByteArrayList() : sizes.split(' ')) {
        bool ok = false;
        const qint64 size = word.toLongLong(&ok);
        if (!ok || size < 0)
            return false;
        e.dataSizes.append(size);
    }
    if (!lines.at(2).startsWith("record "))
        return false;
    const QByteArray record = lines.at(2).mid(7);
    const qsizetype space = record.indexOf(' ');
    bool ok = false;
    e.recordNumber = record.left(space < 0 ? record.size() : space).toInt(&ok);
    if (!ok || e.recordNumber < 0 || e.recordNumber > ContactRecord::MaxNumber)
        return false;
    if (space >= 0 && !parseHexList(record.mid(space + 1), &e.records))
        return false;
    if (!lines.at(3).startsWith("index ") || !parseHexList(lines.at(3).mid(6), &e.indexVersions))
        return false;
    *expected = e;
    return true;
}

void begin(const Expected &expected)
{
    files::replaceBytes(markerPath(), format(expected));
}

namespace {
// The marker for reads stays open between reads; the text of the last one is kept
// to spoil it after the read.
files::RewrittenFile readingMarkerFile;
QByteArray readingMarker;
} // namespace

void beginReading(const Expected &expected)
{
    readingMarker = format(expected);
    readingMarkerFile.write(markerPath(), readingMarker);
}

void endReading() noexcept
{
    // Same length, so nothing of the old text is left to cut off; the last line end
    // becomes a dot and the text no longer parses.
    QByteArray spent = readingMarker;
    if (!spent.isEmpty())
        spent.back() = '.';
    try {
        readingMarkerFile.write(markerPath(), spent);
    } catch (...) {
        // The marker still names the read, which a start finds sealed: nothing lost.
    }
}

void removeSpent() noexcept
{
    readingMarkerFile.close();
    try {
        Expected ignored;
        if (files::fileExists(markerPath()) &&
            !parse(files::readBytes(markerPath(), MarkerReadLimit), &ignored))
            files::deleteFile(markerPath());
    } catch (...) {
    }
}

void forgetReading() noexcept
{
    readingMarkerFile.close();
    readingMarker.clear();
}

void end() noexcept
{
    try {
        files::deleteFile(markerPath());
    } catch (...) {
    }
}

namespace {

// Whether each byte of the record as it now reads is the old record's or the new
// one's at the same place: what a write cut short leaves.
bool isMixOf(const QByteArray &now, const QList<QByteArray> &records)
{
    if (records.size() != 2 || records.at(0).size() != now.size() ||
        records.at(1).size() != now.size())
        return false;
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (now.at(i) != records.at(0).at(i) && now.at(i) != records.at(1).at(i))
            return false;
    }
    return true;
}

} // namespace

TornWrite classifyTornWrite(const Expected &e, std::int64_t size, const QByteArray &record,
                            const QByteArray &indexBytes)
{
    if (e.dataSizes.isEmpty())
        return TornWrite::Foreign;
    const std::int64_t oldSize = e.dataSizes.first();
    const std::int64_t newSize = *std::max_element(e.dataSizes.cbegin(), e.dataSizes.cend());
    if (size < oldSize || size > newSize)
        return TornWrite::Foreign;
    if (e.recordNumber == 0) {
        // An append: whatever follows the old length is the records being added. While
        // the index still holds the old count they are not part of the card file, and
        // a save tried again would add them a second time: they go.
        const bool countUnchanged = e.indexVersions.size() == 2 &&
                                    e.indexVersions.at(0) != e.indexVersions.at(1) &&
                                    indexBytes == e.indexVersions.at(0);
        return size != oldSize && (size != newSize || countUnchanged) ? TornWrite::Undoable
                                                                      : TornWrite::None;
    }
    if (e.dataSizes.contains(size) && e.records.contains(record))
        return TornWrite::None;
    return isMixOf(record, e.records) ? TornWrite::Undoable : TornWrite::Foreign;
}

bool undoTornWrite(const Expected &e)
{
    const QString &path = paths::DataFile;
    if (e.dataSizes.isEmpty() || !files::fileExists(path))
        return false;
    constexpr int Length = ContactRecord::Length;
    const std::int64_t size = files::fileSize(path);
    const QByteArray now =
        e.recordNumber > 0 ? files::readRecord(path, e.recordNumber, Length) : QByteArray();
    const QByteArray index = e.indexVersions.isEmpty() || !files::fileExists(paths::IndexFile)
                                 ? QByteArray()
                                 : files::readBytes(paths::IndexFile, MarkerReadLimit);
    const TornWrite torn = classifyTornWrite(e, size, now, index);
    if (torn != TornWrite::Undoable)
        return torn == TornWrite::None;
    // A file sealed since (a failed save seals it again) is opened for the repair.
    if (files::attributes(path) != platform::Normal)
        files::setAttributes(path, platform::Normal);
    const std::int64_t oldSize = e.dataSizes.first();
    if (e.recordNumber == 0) {
        files::truncateFile(path, oldSize);
        return true;
    }
    const std::int64_t offset = std::int64_t(e.recordNumber - 1) * Length;
    const QByteArray &old = e.records.first();
    if (offset + Length <= oldSize) {
        files::writeRecord(path, e.recordNumber, old);
    } else if (offset < oldSize) {
        // The old file ended inside this record: keep exactly its bytes.
        files::truncateFile(path, offset);
        files::appendBytes(path, old.left(qsizetype(oldSize - offset)));
    }
    if (files::fileSize(path) > oldSize)
        files::truncateFile(path, oldSize);
    return true;
}

namespace {
const QString LeftoverPrefix = QStringLiteral(".Cardomine.pending.tmp-");
}

void removeLeftovers() noexcept
{
    try {
        if (!files::folderExists(paths::DataFolder))
            return;
        for (const QString &name : files::listFiles(paths::DataFolder)) {
            if (name.startsWith(LeftoverPrefix))
                files::deleteFile(paths::DataFolder + u'\\' + name);
        }
    } catch (...) {
        // A leftover that cannot be removed is in nobody's way.
    }
}

int countLeftovers()
{
    if (!files::folderExists(paths::DataFolder))
        return 0;
    const QStringList names = files::listFiles(paths::DataFolder);
    return int(std::count_if(names.cbegin(), names.cend(),
                             [](const QString &name) { return name.startsWith(LeftoverPrefix); }));
}

std::optional<Expected> readMarker()
{
    const std::optional<QByteArray> text = files::readBytesIfFile(markerPath(), MarkerReadLimit);
    Expected e;
    if (!text || !parse(*text, &e))
        return std::nullopt;
    return e;
}

Finding judge(const std::optional<Expected> &marker, const FilesSeen &seen)
{
    if (!marker || !seen.data || !seen.index)
        return Finding::Foreign;
    const Expected &e = *marker;
    // The index is replaced whole, so it must be one of its named versions whatever
    // happened; only then can a torn data file be taken for this work's.
    if (!e.indexVersions.isEmpty() && !e.indexVersions.contains(seen.indexBytes))
        return Finding::Foreign;
    std::int64_t size = seen.dataSize;
    QByteArray record = seen.record;
    bool torn = false;
    if (!e.dataSizes.isEmpty()) {
        switch (classifyTornWrite(e, size, record, seen.indexBytes)) {
        case TornWrite::Foreign:
            return Finding::Foreign;
        case TornWrite::Undoable:
            // Put back, the file has its old length and the old record.
            torn = true;
            size = e.dataSizes.first();
            if (e.recordNumber > 0)
                record = e.records.first();
            break;
        case TornWrite::None:
            break;
        }
    }
    // A read names no sizes: the data file's content must be as it was when the read
    // set it to normal, which its attributes tell (Archive shows a change since).
    const bool dataNamed = e.dataSizes.isEmpty() ? (seen.dataAttributes & platform::Archive) == 0
                                                 : e.dataSizes.contains(size);
    if (!dataNamed || (e.recordNumber > 0 && !e.records.contains(record)))
        return Finding::Foreign;
    return torn ? Finding::TornWrite : Finding::Named;
}

bool notesToFinish(const Expected &e, const FilesSeen &seen)
{
    if (!e.notes || judge(e, seen) != Finding::Named || e.dataSizes.isEmpty())
        return false;
    const bool recordsSaved =
        seen.dataSize == e.dataSizes.last() &&
        (e.recordNumber == 0 || (!e.records.isEmpty() && seen.record == e.records.last())) &&
        (e.indexVersions.size() < 2 || seen.indexBytes == e.indexVersions.last());
    return recordsSaved && seen.newNotesWaiting && seen.notesDigest != e.notes->digest;
}

namespace {

QString notesPath(const QString &name)
{
    return paths::NotesFolder + u'\\' + name;
}

// The digest of a notes file, empty when it is missing or past the notes limit (no
// save writes such a file).
QByteArray notesFileDigest(const QString &name)
{
    const std::optional<QByteArray> bytes =
        files::readBytesIfFile(notesPath(name), notes::FileLimit + 1);
    if (!bytes || bytes->size() > notes::FileLimit)
        return {};
    return notes::digestOf(*bytes);
}

// The temporary file beside the marker's notes file that holds the new notes whole.
std::optional<QString> waitingNotes(const Expected::Notes &named)
{
    for (const QString &name : notes::leftoverNamesFor(named.fileName)) {
        if (notesFileDigest(name) == named.digest)
            return name;
    }
    return std::nullopt;
}

FilesSeen seeFiles(const std::optional<Expected> &marker)
{
    FilesSeen seen;
    seen.data = files::fileExists(paths::DataFile);
    seen.index = files::fileExists(paths::IndexFile);
    if (marker && seen.data && seen.index) {
        seen.dataSize = files::fileSize(paths::DataFile);
        seen.dataAttributes = files::attributes(paths::DataFile);
        if (!marker->indexVersions.isEmpty())
            seen.indexBytes = files::readBytes(paths::IndexFile, MarkerReadLimit);
        if (marker->recordNumber > 0)
            seen.record =
                files::readRecord(paths::DataFile, marker->recordNumber, ContactRecord::Length);
        if (marker->notes) {
            seen.notesDigest = notesFileDigest(marker->notes->fileName);
            seen.newNotesWaiting = waitingNotes(*marker->notes).has_value();
        }
    }
    return seen;
}

} // namespace

void finishNotes()
{
    const std::optional<Expected> marker = readMarker();
    if (!marker || !notesToFinish(*marker, seeFiles(marker)))
        return;
    // The notes file is replaced as a save replaces it; the temporary file goes once its
    // content is in place.
    if (const std::optional<QString> waiting = waitingNotes(*marker->notes)) {
        files::replaceBytes(notesPath(marker->notes->fileName),
                            files::readBytes(notesPath(*waiting), notes::FileLimit));
        files::deleteFile(notesPath(*waiting));
    }
}

Examination examine()
{
    Examination result;
    if (!files::fileExists(markerPath()))
        return result;
    const std::optional<Expected> marker = readMarker();
    const FilesSeen seen = seeFiles(marker);
    if (marker && seen.data && seen.index) {
        result.namesIndex = !marker->indexVersions.isEmpty();
        result.sizeAfterUndo =
            marker->dataSizes.isEmpty() ? seen.dataSize : marker->dataSizes.first();
        result.notesToFinish = notesToFinish(*marker, seen);
    }
    result.namesNotes = marker && marker->notes;
    result.finding = judge(marker, seen);
    return result;
}

} // namespace cardomine::pendingwork
