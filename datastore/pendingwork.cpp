#include "datastore/pendingwork.h"

#include "datastore/contactrecord.h"
#include "datastore/paths.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/rewrittenfile.h"

#include <QByteArrayList>

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

bool finishInterrupted()
{
    if (!files::fileExists(markerPath()))
        return false;
    Expected e;
    bool matches = parse(files::readBytes(markerPath(), MarkerReadLimit), &e) &&
                   files::fileExists(paths::DataFile) && files::fileExists(paths::IndexFile);
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
            seal(paths::IndexFile, platform::ReadOnly | platform::System);
        seal(paths::DataFile, platform::ReadOnly | platform::Hidden | platform::System);
    }
    files::deleteFile(markerPath());
    return matches;
}

} // namespace cardomine::pendingwork
