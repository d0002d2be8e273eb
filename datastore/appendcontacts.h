#pragma once

#include "datastore/contactrecord.h"

#include <QList>
#include <QString>

namespace cardomine::store {

struct NewContact
{
    ContactRecord record;
    QString notes;
};

// Appends the contacts after the card file's last record, each stored as Create New +
// Save New Record stores one, ContactID set to the number it gets, DataType as given,
// notes files written. Reads the index file itself (IndexLines holds the new table
// afterwards). Returns the numbers given, in order. Refuses (DataError) before writing
// anything when the batch would pass ContactRecord::MaxNumber.
QList<int> appendContacts(const QList<NewContact> &contacts);

// Writes record and notes at number, as Edit / Save Edit stores them (no count update).
void replaceContact(int number, const ContactRecord &record, const QString &notes);

} // namespace cardomine::store
