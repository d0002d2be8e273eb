// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace cardomine {

// The index file's lines in memory. Entry 0 is the highest entry number (k + 2 for k
// types); entries 1 to k are the type names, k + 1 the count line, k + 2 the
// file-type line.
class IndexTable
{
public:
    int highestEntry() const { return m_entries.size(); } // the value of entry 0
    QString entry(int i) const;                           // 1..highestEntry()
    void setEntry(int i, const QString &text);
    void resize(int highest); // entries 1..highest, new ones empty
    void clear() { m_entries.clear(); }
    QStringList typeNames() const; // entries 1..k

private:
    QStringList m_entries; // entry i at m_entries[i - 1]
};

extern IndexTable IndexLines;

namespace indexfile {

// Splits the file's text into items as the program reads it: one comma-delimited
// item at a time, leading spaces skipped, a line end (CR LF, CR or LF) or a comma
// ending an item, a double-quoted item running to its closing quote.
QStringList splitItems(const QString &content);

// "Num_Of_Records=" followed by count in plain digits.
QString countLine(int count);

// The four lines of a new index file (67 bytes with their line ends).
QStringList createdLines();

// Writes a new index file with the created lines and seals it (attributes 5); a
// count other than 1 replaces the created count.
void create(int count = 1);

// Reads the index file into a fresh table, as the start-up does.
IndexTable read();
// The same reading of an index file's bytes.
IndexTable parse(const QByteArray &bytes);

// The record count by the count rule: characters 16 to 21 of entry (entry0 - 1),
// trimmed, as a number. DataError when it is not a number from 0 to 32767.
int recordCount(const IndexTable &table);

// The file-type rule: the first entry from 1 up whose last character is exactly 'S'
// or 'R'. Empty when there is none (callers take "R", the form the program writes).
std::optional<QChar> fileType(const IndexTable &table);
// fileType() with the missing line read as 'R', as a one-letter string.
QString fileTypeLetter(const IndexTable &table);

// The index file after the count update of a save: its bytes and its table. Random
// form: the count only grows to contactId; sequential form: the count becomes
// contactId.
struct CountUpdate
{
    QByteArray bytes;
    IndexTable table;
};
// The update of the index file bytes current, whose lines table holds (it gives the
// number of lines). Reads nothing else. DataError when the count is not a number.
CountUpdate countUpdate(const IndexTable &table, const QByteArray &current, QChar fileType,
                        int contactId);
// Its bytes alone.
QByteArray countUpdated(const IndexTable &table, const QByteArray &current, QChar fileType,
                        int contactId);

// Replaces the index file by the update's bytes (attributes 0 while working, 5
// after); IndexLines takes the update's table once the file holds the bytes.
void writeCountUpdate(const CountUpdate &update);

// The count update on the index file as it is now, with IndexLines as its table.
void updateCount(QChar fileType, int contactId);

} // namespace indexfile
} // namespace cardomine
