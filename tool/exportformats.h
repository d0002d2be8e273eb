#pragma once

#include "tool/contacts.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The two export formats, UTF-8 with CR LF line ends. Fields lose their trailing
// padding.
namespace cardomine::tool {

// vCard 4.0: one card per contact, lines folded at 75 octets (never inside a UTF-8
// sequence), text values escaped; empty fields are left out.
QByteArray toVCard(const QList<Contact> &contacts);

// CSV: a header row naming the fields, then one row per contact; a field holding a
// comma, a double quote or a line end is quoted, its quotes doubled.
QByteArray toCsv(const QList<Contact> &contacts);

// One content line folded to lines of at most 75 octets, each ended by CR LF;
// continuation lines start with a space.
QByteArray foldLine(const QString &line);

// A text value with backslash, comma, semicolon and line ends escaped.
QString escapeText(const QString &value);

} // namespace cardomine::tool
