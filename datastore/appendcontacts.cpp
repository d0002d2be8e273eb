// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/appendcontacts.h"

#include "datastore/cardfilereader.h"
#include "datastore/dataerror.h"
#include "datastore/datafile.h"
#include "datastore/indexfile.h"
#include "datastore/paths.h"
#include "datastore/saveplan.h"

#include <algorithm>

namespace cardomine::store {

QList<int> appendContacts(const QList<NewContact> &contacts)
{
    const IndexTable table = indexfile::read();
    const QChar fileType = indexfile::fileTypeLetter(table).front();
    int count = indexfile::recordCount(table);
    // As for a single new record: the numbers after the count must not be ones the
    // data file already holds (a count lowered or lost by hand).
    if (fileType == QLatin1Char('R'))
        count = std::max(count, datafile::recordsReached(paths::DataFile));
    // In the sequential form a save lowers the count to the number it saved: the new
    // numbers come after the highest the file holds, so no contact is hidden by a second
    // record of its number.
    if (fileType == QLatin1Char('S'))
        for (const cardfile::Contact &c :
             cardfile::read({.notes = cardfile::NotesText::Skip}).contacts)
            count = std::max(count, c.record.contactNumber().value_or(0));
    IndexLines = table;
    if (contacts.isEmpty())
        return {};
    if (contacts.size() > ContactRecord::MaxNumber - count)
        throw DataError(paths::DataFile,
                        QStringLiteral("%1 new contacts do not fit: the card file holds %2 "
                                       "records and can hold at most %3")
                            .arg(contacts.size())
                            .arg(count)
                            .arg(ContactRecord::MaxNumber));

    QList<ContactRecord> records;
    QList<QString> notesTexts;
    QList<int> numbers;
    QList<photos::NewFile> photoFiles;
    for (const NewContact &contact : contacts) {
        records.append(contact.record);
        notesTexts.append(contact.notes);
        numbers.append(count + int(numbers.size()) + 1);
        for (photos::NewFile photo : contact.photos) {
            photo.contactId = numbers.last();
            photoFiles.append(std::move(photo));
        }
    }
    photos::write(photoFiles);
    try {
        carryOut(planAppend(paths::DataFile, records, notesTexts, count + 1, fileType, table));
    } catch (...) {
        photos::removeWritten(photoFiles);
        throw;
    }
    return numbers;
}

void replaceContact(int number, const ContactRecord &record, const QString &notes,
                    QList<photos::NewFile> newPhotos)
{
    if (number < 1 || number > ContactRecord::MaxNumber)
        throw DataError(paths::DataFile, QStringLiteral("record number %1 is outside 1 to %2")
                                             .arg(number)
                                             .arg(ContactRecord::MaxNumber));
    const IndexTable table = indexfile::read();
    const QChar fileType = indexfile::fileTypeLetter(table).front();
    IndexLines = table;
    ContactRecord stored = record;
    stored.ContactID = QString::number(number);
    // The random form rewrites the record in place. The sequential form has no places:
    // Save Edit appends the record again and its count update names it.
    for (photos::NewFile &photo : newPhotos)
        photo.contactId = number;
    photos::write(newPhotos);
    try {
        carryOut(planSave(paths::DataFile, stored, number, fileType, fileType == QLatin1Char('S'),
                          table, notes));
    } catch (...) {
        photos::removeWritten(newPhotos);
        throw;
    }
}

} // namespace cardomine::store
