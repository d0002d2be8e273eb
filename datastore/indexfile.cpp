// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/indexfile.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "datastore/seal.h"
#include "platform/fileattributes.h"
#include "platform/files.h"
#include "platform/textcodec.h"

namespace cardomine {

IndexTable IndexLines;

QString IndexTable::entry(int i) const
{
    if (i < 1 || i > m_entries.size())
        return {};
    return m_entries.at(i - 1);
}

void IndexTable::setEntry(int i, const QString &text)
{
    // Entry 0 is the table's size and not a text; numbers outside the table are
    // ignored rather than growing it behind the reader's back.
    if (i < 1 || i > m_entries.size())
        return;
    m_entries[i - 1] = text;
}

void IndexTable::resize(int highest)
{
    m_entries.resize(qMax(highest, 0));
}

QStringList IndexTable::typeNames() const
{
    return m_entries.mid(0, qMax(m_entries.size() - 2, 0));
}

namespace indexfile {

namespace files = platform::files;
namespace text = platform::text;

namespace {

constexpr int Sealed = seal::IndexFile;
const QString CountKey = QStringLiteral("Num_Of_Records=");

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// Sets the index file back to its resting attributes after a failure, so that the
// next start does not take an untouched file for an altered one. The original
// failure is what the caller must hear about; a second one here adds nothing.
void restoreSeal()
{
    try {
        files::setAttributes(paths::IndexFile, Sealed);
    } catch (...) {
    }
}

} // namespace

QStringList splitItems(const QString &content)
{
    QStringList items;
    const qsizetype n = content.size();
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && content.at(pos) == QLatin1Char(' '))
            ++pos;
        QString item;
        if (pos < n && content.at(pos) == QLatin1Char('"')) {
            // A quoted item runs to the closing quote; what follows it up to the next
            // delimiter is dropped.
            ++pos;
            while (pos < n && content.at(pos) != QLatin1Char('"') && !isLineEnd(content.at(pos)))
                item.append(content.at(pos++));
            while (pos < n && content.at(pos) != QLatin1Char(',') && !isLineEnd(content.at(pos)))
                ++pos;
        } else {
            while (pos < n && content.at(pos) != QLatin1Char(',') && !isLineEnd(content.at(pos)))
                item.append(content.at(pos++));
        }
        items.append(item);
        if (pos < n) {
            if (content.at(pos) == QLatin1Char(','))
                ++pos;
            else if (content.at(pos) == QLatin1Char('\r') && pos + 1 < n &&
                     content.at(pos + 1) == QLatin1Char('\n'))
                pos += 2;
            else
                ++pos;
        }
    }
    return items;
}

QString countLine(int count)
{
    return CountKey + QString::number(count);
}

QStringList createdLines()
{
    return {QStringLiteral("Num_Of_Types=1"), QStringLiteral("Data_Type=Contacts"), countLine(1),
            QStringLiteral("File_Type=R")};
}

void create(int count)
{
    QStringList lines = createdLines();
    lines[2] = countLine(count);
    files::replaceBytes(paths::IndexFile, text::joinLines(lines));
    files::setAttributes(paths::IndexFile, Sealed);
}

IndexTable read()
{
    return parse(files::readBytes(paths::IndexFile));
}

IndexTable parse(const QByteArray &bytes)
{
    const QStringList items = splitItems(text::decode(bytes));

    // Only the last character of the first line counts: a digit, else no types.
    int typeCount = 0;
    if (!items.isEmpty() && !items.first().isEmpty()) {
        const QChar last = items.first().back();
        if (last >= QLatin1Char('0') && last <= QLatin1Char('9'))
            typeCount = last.unicode() - u'0';
    }

    // Lines the file lacks stay empty: the count rule then reports the missing
    // count and the file-type rule falls back to the random form.
    IndexTable table;
    table.resize(typeCount + 2);
    for (int i = 1; i <= typeCount + 2 && i < items.size(); ++i)
        table.setEntry(i, items.at(i));
    for (int i = 1; i <= typeCount; ++i)
        table.setEntry(i, table.entry(i).mid(10));
    return table;
}

int recordCount(const IndexTable &table)
{
    const QString line = table.entry(table.highestEntry() - 1);
    if (const auto count = ContactRecord::parseNumber(line.mid(15, 6)))
        return *count;
    if (line.isEmpty())
        throw DataError(paths::IndexFile, QStringLiteral("the record count line is missing"));
    throw DataError(paths::IndexFile,
                    QStringLiteral("the record count in \"%1\" is not a number from 0 to %2")
                        .arg(line)
                        .arg(ContactRecord::MaxNumber));
}

std::optional<QChar> fileType(const IndexTable &table)
{
    for (int i = 1; i <= table.highestEntry(); ++i) {
        const QString entry = table.entry(i);
        if (entry.endsWith(QLatin1Char('S')) || entry.endsWith(QLatin1Char('R')))
            return entry.back();
    }
    return std::nullopt;
}

QString fileTypeLetter(const IndexTable &table)
{
    return QString(fileType(table).value_or(QLatin1Char('R')));
}

CountUpdate countUpdate(const IndexTable &table, const QByteArray &current, QChar fileType,
                        int contactId)
{
    const QString &path = paths::IndexFile;
    CountUpdate update{QByteArray(), table};
    // Every line of the file gets a slot, the first one (not kept in the table)
    // included.
    const int slotCount = table.highestEntry() + 1;
    const QStringList items = splitItems(text::decode(current));
    QStringList lines;
    for (int i = 1; i <= slotCount; ++i) {
        // A short file is written back padded with empty lines.
        QString line = i <= items.size() ? items.at(i - 1) : QString();
        if (line.mid(7, 7) == u"Records") {
            bool replace = fileType == QLatin1Char('S');
            if (fileType == QLatin1Char('R')) {
                const auto count = ContactRecord::parseNumber(line.mid(15, 6));
                if (!count)
                    throw DataError(path, QStringLiteral("the record count in \"%1\" is not "
                                                         "a number from 0 to %2")
                                              .arg(line)
                                              .arg(ContactRecord::MaxNumber));
                replace = contactId > *count;
            }
            if (replace) {
                line = countLine(contactId);
                update.table.setEntry(i - 1, line);
            }
        }
        lines.append(line);
    }
    update.bytes = text::joinLines(lines);
    return update;
}

QByteArray countUpdated(const IndexTable &table, const QByteArray &current, QChar fileType,
                        int contactId)
{
    return countUpdate(table, current, fileType, contactId).bytes;
}

void writeCountUpdate(const CountUpdate &update)
{
    const QString &path = paths::IndexFile;
    try {
        files::setAttributes(path, platform::Normal);
        // A save that leaves the count as it was finds the file already right.
        files::replaceBytesIfChanged(path, update.bytes);
        // The table follows the file only once the file holds the new count.
        IndexLines = update.table;
        files::setAttributes(path, Sealed);
    } catch (...) {
        // A replacement can fail after the new file is already in place (flushing
        // the folder); the table must then follow it, or the next new record would
        // take a number that is already used.
        try {
            if (files::readBytes(path) == update.bytes)
                IndexLines = update.table;
        } catch (...) {
        }
        restoreSeal();
        throw;
    }
}

void updateCount(QChar fileType, int contactId)
{
    const QString &path = paths::IndexFile;
    CountUpdate update;
    try {
        files::setAttributes(path, platform::Normal);
        update = countUpdate(IndexLines, files::readBytes(path), fileType, contactId);
    } catch (...) {
        restoreSeal();
        throw;
    }
    writeCountUpdate(update);
}

} // namespace indexfile
} // namespace cardomine
