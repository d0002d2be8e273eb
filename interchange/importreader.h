// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Contacts read from other address books' files, mapped onto the card file's boxes.
// Nothing the file held for a contact is dropped: what has no box, and every value
// longer than its box, is kept whole in the contact's notes, after the card's own
// notes, under one line that says so (importcard.h).
namespace cardomine::interchange {

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

// Whether the bytes look like vCard: "BEGIN:VCARD" first, after a byte order mark
// and blank lines, in UTF-8 or UTF-16.
bool looksLikeVCard(const QByteArray &bytes);

} // namespace cardomine::interchange
