// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactphotos.h"
#include "datastore/contactrecord.h"

#include <QList>
#include <QString>

// Contacts added or rewritten in bulk (import, sync), stored exactly as the window's
// Create New / Save New Record and Edit / Save Edit store them one at a time.
namespace cardomine::store {

struct NewContact
{
    ContactRecord record;
    QString notes;
    QList<photos::NewFile> photos = {}; // their contactId is the number the contact gets
};

// Appends the contacts after the card file's last record, each stored as Create New +
// Save New Record stores one (random form at count+1, count+2, ...; sequential form:
// twelve lines each appended, numbered after the highest number the file holds, since a
// save lowers the count), ContactID set to the number it gets, DataType as given,
// notes files written. One flush for the whole batch: notes first, then the records,
// the index count last, all announced in one pending-work marker, so that a crash
// leaves the card file as it was or with a prefix of the new contacts, sealed, never
// needing repair. Reads the index file itself (IndexLines holds the new table
// afterwards). Returns the numbers given, in order. Refuses (DataError) before writing
// anything when the batch would pass ContactRecord::MaxNumber (callers cut the batch
// first). Never overwrites a record the data file already holds. The contacts' photo
// files are written and made durable before anything else, and removed again when the
// store fails, so no record's notes ever name a photo that is not there.
QList<int> appendContacts(const QList<NewContact> &contacts);

// Writes record and notes at number, as Edit / Save Edit stores them (no count update).
// New photo files of the contact are written first, as appendContacts writes them.
void replaceContact(int number, const ContactRecord &record, const QString &notes,
                    QList<photos::NewFile> newPhotos = {});

} // namespace cardomine::store
