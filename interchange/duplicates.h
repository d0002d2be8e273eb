// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// When a contact brought in (by import or by the sync pass) is one the card file
// already has: the same first and last name with a phone or e-mail in common, or
// every box the same.
namespace cardomine::interchange {

// First and last name, case and spacing aside.
QString nameKey(const ContactRecord &r);
// No box holds anything but spaces or NULs.
bool isBlank(const ContactRecord &r);

// What a record is recognised by, worked out once per record.
struct DuplicateKeys
{
    explicit DuplicateKeys(const ContactRecord &r);
    bool blank;
    QStringList points; // each phone or e-mail with the name
    QByteArray boxes;   // the eleven boxes' bytes
};

// The contacts seen so far, each under a holder: a number the caller can name later
// (a contact's, or an index of its own).
class Duplicates
{
public:
    void add(const DuplicateKeys &keys, int holder);
    struct Found
    {
        QString what; // "same name and phone as", "the same as"
        int holder;
    };
    std::optional<Found> find(const DuplicateKeys &keys) const;

private:
    QHash<QString, int> m_points;
    QHash<QByteArray, int> m_boxes;
};

} // namespace cardomine::interchange
