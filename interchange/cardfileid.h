// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

// Each card file carries an identifier of its own, kept beside it in Cardomine.id, so
// that the vCard UIDs its exports give its contacts differ from every other card
// file's and stay the same from one export to the next.
namespace cardomine::interchange {

// "c:\Program Files\Pelvarin\Cardomine.id"
QString cardFileIdPath();

// The identifier stored in Cardomine.id; nullopt when the file is missing or holds no
// identifier.
std::optional<QUuid> readCardFileId();
// The stored identifier, or a new one written to Cardomine.id (replaced atomically)
// when there is none.
QUuid cardFileId();

// "urn:uuid:…": a name-based UUID made from the card file's identifier and the
// contact's number.
QString contactUid(const QUuid &cardFile, int contactNumber);

// Finds the contact a UID names in this card file: our own form, or the bare contact
// number that exports before the identifier wrote.
class UidLookup
{
public:
    // cardFile: the card file's identifier, if it has one; highestNumber: the highest
    // contact number the card file may hold.
    UidLookup(const std::optional<QUuid> &cardFile, int highestNumber);
    std::optional<int> contactNumber(const QString &uid) const;

private:
    QHash<QString, int> m_numbers; // our UIDs, lower case
    int m_highest = 0;
};

} // namespace cardomine::interchange
