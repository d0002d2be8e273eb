#include "datastore/pendingwork.h"
#include "datastore/seal.h"

#include "datastore/contactrecord.h"
#include "datastore/paths.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/rewrittenfile.h"

#include <QByteArrayList>

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
    return Magic + "\nsizes " + sizes.join(' ') + "\nrecord " + QByteArray::number(e.recordNumber) +
           ' ' + hexList(e.records) + "\nindex " + hexList(e.indexVersions) + '\n';
}

bool parse(const QByteArray &text, Expected *expected)
{
    const QByteArrayList lines = text.split('\n');
    if (lines.size() != 5 || lines.at(0) != Magic || !lines.at(4).isEmpty())
        return false;
    Expected e;
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

bool undoTornWrite(const Expected &e)
{
    const QString &path = paths::DataFile;
    if (e.dataSizes.isEmpty() || !files::fileExists(path))
        return false;
    const std::int64_t oldSize = e.dataSizes.first();
    const std::int64_t newSize = *std::max_element(e.dataSizes.cbegin(), e.dataSizes.cend());
    const std::int64_t size = files::fileSize(path);
    if (size < oldSize || size > newSize)
        return false;
    // A file sealed since (a failed save seals it again) is opened for the repair.
    const auto unseal = [&] {
        if (files::attributes(path) != platform::Normal)
            files::setAttributes(path, platform::Normal);
    };
    if (e.recordNumber == 0) {
        // An append: whatever follows the old length is the records being added. While
        // the index still holds the old count they are not part of the card file, and
        // a save tried again would add them a second time: they go.
        const bool countUnchanged =
            e.indexVersions.size() == 2 && e.indexVersions.at(0) != e.indexVersions.at(1) &&
            files::fileExists(paths::IndexFile) &&
            files::readBytes(paths::IndexFile, MarkerReadLimit) == e.indexVersions.at(0);
        if (size != oldSize && (size != newSize || countUnchanged)) {
            unseal();
            files::truncateFile(path, oldSize);
        }
        return true;
    }
    constexpr int Length = ContactRecord::Length;
    const QByteArray now = files::readRecord(path, e.recordNumber, Length);
    if (e.dataSizes.contains(size) && e.records.contains(now))
        return true;
    if (!isMixOf(now, e.records))
        return false;
    const std::int64_t offset = std::int64_t(e.recordNumber - 1) * Length;
    const QByteArray &old = e.records.first();
    unseal();
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

void removeLeftovers() noexcept
{
    try {
        if (!files::folderExists(paths::DataFolder))
            return;
        const QString prefix = QStringLiteral(".Cardomine.pending.tmp-");
        for (const QString &name : files::listFiles(paths::DataFolder)) {
            if (name.startsWith(prefix))
                files::deleteFile(paths::DataFolder + u'\\' + name);
        }
    } catch (...) {
        // A leftover that cannot be removed is in nobody's way.
    }
}

bool finishInterrupted()
{
    removeLeftovers();
    if (!files::fileExists(markerPath()))
        return false;
    Expected e;
    bool matches = parse(files::readBytes(markerPath(), MarkerReadLimit), &e) &&
                   files::fileExists(paths::DataFile) && files::fileExists(paths::IndexFile);
    // A write cut short is put back first. The index is checked before: it is
    // replaced whole, so it must be one of its named versions whatever happened.
    if (matches && !e.dataSizes.isEmpty() &&
        (e.indexVersions.isEmpty() ||
         e.indexVersions.contains(files::readBytes(paths::IndexFile, MarkerReadLimit)))) {
        matches = undoTornWrite(e);
    }
    // A read names no sizes: the data file's content must be as it was when the read
    // set it to normal, which its attributes tell (Archive shows a change since).
    matches = matches &&
              (e.dataSizes.isEmpty() ? (files::attributes(paths::DataFile) & platform::Archive) == 0
                                     : e.dataSizes.contains(files::fileSize(paths::DataFile))) &&
              (e.indexVersions.isEmpty() ||
               e.indexVersions.contains(files::readBytes(paths::IndexFile, MarkerReadLimit)));
    if (matches && e.recordNumber > 0)
        matches = e.records.contains(
            files::readRecord(paths::DataFile, e.recordNumber, ContactRecord::Length));
    if (matches) {
        // A file that reads as sealed is left alone: the work may have stopped after
        // sealing it, and a file the program may read but not change (another
        // user's) would otherwise stop every start here.
        const auto seal = [](const QString &path, int attributes) {
            if (files::attributes(path) != attributes)
                files::setAttributes(path, attributes);
        };
        if (!e.indexVersions.isEmpty())
            seal(paths::IndexFile, seal::IndexFile);
        seal(paths::DataFile, seal::DataFile);
    }
    files::deleteFile(markerPath());
    return matches;
}

} // namespace cardomine::pendingwork
