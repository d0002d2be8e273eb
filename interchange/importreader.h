// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Contacts read from other address books' files, mapped onto the card file's boxes.
// Nothing the file held for a contact is dropped: what has no box, and every value
// longer than its box, is kept whole in the contact's notes, after the card's own
// notes, under one line that says so (importcard.h).
namespace cardomine::interchange {

// A binary value (a photo, say) kept whole in the photos folder under its name
// (datastore/contactphotos.h), which the notes give.
struct KeptBinary
{
    QString name;
    QByteArray bytes;
};

struct ImportedContact
{
    ContactRecord record; // fields filled and cut to their widths; ContactID blank;
                          // DataType "Contacts"
    QString notes;        // the card's own notes, then (when needed) the section that keeps
                          // whole every value that was cut or has no box
    QString uid;          // the card's UID as written, or empty
    int line = 0;         // line where the card (or CSV row) starts, from 1
    QString name;         // for reports: the formatted name, else first and last name
    QStringList cut;      // names of the fields longer than their box
    bool replacedCharacters = false; // characters Windows-1252 lacks were replaced
    QList<KeptBinary> binaries;      // for the photos folder
};

struct ReadResult
{
    QList<ImportedContact> contacts;
    int errorLine = 0; // set with error when the file does not parse
    QString error;
    bool ok() const { return error.isEmpty(); }
};

ReadResult readVCards(const QByteArray &bytes); // 2.1, 3.0, 4.0; several cards
ReadResult readCsv(const QByteArray &bytes);    // header row; ours, Google, Outlook, Thunderbird

// The same readers for a file too big to hold all its contacts at once: take gets each
// contact as soon as it is read, in file order, and the result holds none. Without take
// the file is only checked, which costs far less than reading it. When the file does not
// parse, take has been given the contacts before the faulty line.
using ContactSink = std::function<void(ImportedContact &&)>;
ReadResult readVCards(const QByteArray &bytes, const ContactSink &take);
ReadResult readCsv(const QByteArray &bytes, const ContactSink &take);

// A vCard property as the file holds it, before anything is mapped onto boxes: what
// checks of an export compare the file with.
struct VCardValue
{
    QByteArray name;     // upper case, without its group
    QString label;       // the name as written when it is not a well-formed one
    QString ownLabel;    // our own export's label of a value of the notes' section
    QByteArray encoding; // upper case
    QByteArray raw;      // the value as written (quoted-printable undone)
    QString text;        // the value decoded and unescaped
    QStringList parts;   // the same split at its unescaped semicolons
    QStringList types;   // TYPE parameters, lower case
};

// Each card's properties, BEGIN and END left out, in file order (an agent's card after
// the card that names it); nothing for a file that does not parse.
QList<QList<VCardValue>> readVCardValues(const QByteArray &bytes);
// The CSV file's rows as cells, the header first (our own export's formula quotes
// taken off); nothing for a file that does not parse.
QList<QStringList> readCsvRows(const QByteArray &bytes);

// Whether the bytes look like vCard: "BEGIN:VCARD" first, after a byte order mark
// and blank lines, in UTF-8 or UTF-16.
bool looksLikeVCard(const QByteArray &bytes);

} // namespace cardomine::interchange
