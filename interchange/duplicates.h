// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"
#include "interchange/importedvalues.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// When a contact brought in (by import or by the sync pass) is one the card file
// already has, and what it adds. Whole values decide, never cut boxes: the same whole
// first and last name with a phone, an e-mail or a UID in common, or every whole box
// the same; a card whose whole name differs is another contact. A contact that is
// already there is skipped only when it brings nothing new; otherwise what is new goes
// into the notes' section of the contact that holds it.
namespace cardomine::interchange {

// First and last name, case and spacing aside.
QString nameKey(const ContactRecord &r);
// No box holds anything but spaces or NULs.
bool isBlank(const ContactRecord &r);

// Whether the UID is one a Cardomine export made (a name-based "urn:uuid:", or the bare
// contact number of older exports and of the CSV's ID column): the card file's own way
// to name its contacts, not a value of the contact.
bool isCardFileUid(const QString &uid);

// What a contact holds, whole, worked out once.
struct ContactValues
{
    // uid: the UID the incoming card carries (empty for a stored contact, whose UIDs
    // from elsewhere are in its notes).
    ContactValues(const ContactRecord &record, const QString &notes, const QString &uid = {});

    bool blank = false;
    QString name;                // whole first and last name, case and spacing aside
    QStringList points;          // each phone and e-mail, with the name
    QStringList uids;            // UIDs from elsewhere
    QString boxes;               // every whole box
    QString own;                 // the own notes
    QList<ImportedValue> values; // every value, labelled as a merge adds it
    QList<QString> keys;         // the key of each value
};

// The values of `incoming` that `holder` does not hold, with the labels they go under
// in the holder's notes.
QList<ImportedValue> newValues(const ContactValues &incoming, const ContactValues &holder);

// Whether a contact's notes fit the program's notes limit (as the notes file holds
// them, with their line end): import and merges never make a notes file bigger.
bool fitsNotesLimit(const QString &notes);

// The contacts seen so far, each under a holder: a number the caller can name later
// (a contact's, or an index of its own).
class Duplicates
{
public:
    void add(const ContactValues &values, int holder);
    struct Found
    {
        QString what; // "same name and phone as", "the same as"
        int holder;
    };
    std::optional<Found> find(const ContactValues &values) const;

private:
    QHash<QString, int> m_points;
    QHash<QString, int> m_boxes;
};

} // namespace cardomine::interchange
