// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// find, show and query: looking contacts up from the shell and from mail programs.
// They only read the card file (no lock, no file written, not even an attribute), so
// they are safe while Cardomine runs. Each throws platform::FileError and DataError
// when the card file cannot be read.
namespace cardomine::tool {

enum class LookupFormat
{
    Text, // lines for people; find's are tab-separated
    Json, // one JSON document for scripts
};

struct LookupOutput
{
    QByteArray out;     // for standard output
    bool found = false; // false: no contact matched (exit status 1)
};

// The contacts whose boxes or notes hold every word of the texts, one a line: number,
// name, company, first phone, e-mail.
LookupOutput findContacts(const QStringList &texts, LookupFormat format);

// Contact `number` whole: every box with its caption as the window shows it, then
// the notes.
LookupOutput showContact(int number, LookupFormat format);

// The mail programs' answer: a line of information, then "address<TAB>name<TAB>company"
// for each whole e-mail address of each matching contact.
LookupOutput queryAddresses(const QString &text);

} // namespace cardomine::tool
