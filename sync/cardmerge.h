// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"
#include "datastore/recordboxes.h"
#include "interchange/wholecontact.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// Writing a contact changed in the card file back into the vCard the address book
// holds for it, without narrowing that vCard: only the properties behind the boxes the
// user changed are replaced; names outside Windows-1252, whole-length values, photos,
// birthdays, extra phones and e-mails and unknown properties stay as they were.
namespace cardomine::sync {

// The boxes of a record, and its own notes (the text before the section import keeps
// whole values in), as the card file holds them: without padding.
struct Boxes
{
    std::array<QString, FieldBoxCount> box;
    QString ownNotes;
    bool operator==(const Boxes &) const = default;
};
Boxes boxesOf(const ContactRecord &record, const QString &notes);
// The same with each cut box's whole value, as the notes' section keeps it: what a vCard
// written from the record holds behind the box.
Boxes wholeBoxesOf(const ContactRecord &record, const QString &notes);
// The same from the record's boxes (boxesOf) and its whole values (wholeContact).
Boxes wholeBoxesOf(Boxes boxes, const interchange::WholeContact &whole);

// The boxes the card file would hold for a vCard: what import makes of it. nullopt when
// the bytes are not exactly one vCard.
std::optional<Boxes> renderedBoxes(const QByteArray &vcard);

// The vCard with the values of `now` written in where they differ from what `seen`
// (the rendering of this same vCard) holds. A box counts as unchanged when it equals
// the rendering of the card's own value, so a name cut or given "?" for a character the
// card file lacks leaves the card's value alone. The result is UTF-8 with CR LF.
QByteArray mergeIntoCard(const QByteArray &vcard, const Boxes &seen, const Boxes &now);

// The value behind a box as the vCard holds it whole (letters the card file lacks, the
// full length): the property part the box shows as `shown`; nullopt when none does.
std::optional<QString> wholeValueIn(const QByteArray &vcard, FieldBox box, const QString &shown);
// Each of the boxes `shown` (the vCard's rendering) with its whole value so: what the
// card holds behind them, so a change the boxes do not show (past a box's width, or in
// letters the card file lacks) still counts.
Boxes wholeBoxesIn(const QByteArray &vcard, const Boxes &shown);

// A value of the notes' section the user corrected in the card file: as the card holds
// it, and as it is now.
struct Correction
{
    QString was;
    QString now;
};

// The vCard with the one property whose whole value is `was` given `now` instead, its
// name and parameters kept. A value no property holds, or several do, or one of a
// structured property (an address), is left alone: nothing is guessed.
QByteArray correctValues(const QByteArray &vcard, const QList<Correction> &corrections);

} // namespace cardomine::sync
