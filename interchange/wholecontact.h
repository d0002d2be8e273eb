// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"
#include "interchange/importedvalues.h"

#include <QList>
#include <QSet>
#include <QString>

#include <array>

// A stored contact with what import kept whole read back from its notes: the way out
// of the card file for the writers, and what the duplicate rule compares.
namespace cardomine::interchange {

struct WholeContact
{
    // The eleven boxes, each without padding or control characters: the whole value
    // kept in the notes where the box still holds its beginning, else the box as it is.
    std::array<QString, FieldBoxCount> boxes;
    std::array<bool, FieldBoxCount> restored{}; // the box's whole value came from the notes
    QString own;                                // the user's own notes
    QList<ImportedValue> values;                // the section's other values, in order
    // Indexes into values of whole values of boxes the user has changed since: they
    // stay note text, never a value of their own.
    QSet<qsizetype> stale;
};

// notes: the notes text as the program shows it.
WholeContact wholeContact(const ContactRecord &record, const QString &notes);

} // namespace cardomine::interchange
