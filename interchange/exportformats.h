// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interchange/contact.h"
#include "interchange/fieldtext.h"
#include "interchange/wholecontact.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

// The two export formats, UTF-8 with CR LF line ends. Fields lose their trailing
// padding and their control characters (see withoutControls).
namespace cardomine::interchange {

// Which UID a card gets.
enum class CardUid
{
    Own,     // always the card file's own (contactUid)
    Foreign, // the UID of another program kept in the notes when there is one
};

// vCard 4.0: one card per contact, lines folded at 75 octets (never inside a UTF-8
// sequence), text values escaped; empty fields are left out, except FN and N, which
// every card has. UIDs are made from the card file's identifier and the contact's
// number (contactUid), so they differ from every other card file's and stay the same
// from one export to the next; with CardUid::Foreign a contact that came from another
// program goes out under that program's UID (the first kept in its notes, once per
// file), which import finds again in the notes.
QByteArray toVCard(const QList<Contact> &contacts, const QUuid &cardFile,
                   CardUid cardUid = CardUid::Own);
// One contact's card as toVCard writes it with CardUid::Own, from its whole values
// (wholeContact, worked out once by a caller that needs them too), with the UID line
// "UID:" + uid in place of the card file's own.
QByteArray toVCard(const Contact &contact, const WholeContact &whole, const QString &uid);
// Whether toVCard reads the photos folder for a contact with these whole values: one of
// them names a file there. Only the thread that uses the drive mapping may build that card.
bool readsPhotosFolder(const WholeContact &whole);

// CSV: a header row naming the fields, then one row per contact, each cell made by
// csvCell.
QByteArray toCsv(const QList<Contact> &contacts);

// One content line folded to lines of at most 75 octets, each ended by CR LF;
// continuation lines start with a space.
QByteArray foldLine(const QString &line);

// A text value with backslash, comma, semicolon and line ends escaped.
QString escapeText(const QString &value);

// Whether the text is one whole e-mail address (local part, "@", a domain of at least
// two labels) and nothing else.
bool isEmailAddress(const QString &value);

// A CSV cell: a value a spreadsheet would run as a formula gets a leading single quote
// (needsFormulaQuote); then a cell holding a comma, a double quote or a line end is
// quoted, its quotes doubled.
QString csvCell(const QString &value);

} // namespace cardomine::interchange
