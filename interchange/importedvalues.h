// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// The section of a contact's notes that import writes: a line "Imported values that do
// not fit a box:" and under it one "Label: value" per line (a value of several lines
// continues on lines that hold no label). The writers read it back, so what came in
// whole goes out whole; the duplicate rule reads it to know what a contact holds.
namespace cardomine::interchange {

struct ImportedValue
{
    QString label; // empty for a line under the heading that names no label
    QString value; // its lines joined by CR LF

    bool operator==(const ImportedValue &) const = default;
};

struct NotesParts
{
    QString own;                 // the user's own notes, before the section
    QList<ImportedValue> values; // the section's values, in order
};

// Whether the text can stand as a value's label in the section: one line of 1 to 80
// characters without ": ", neither starting nor ending with a space.
bool isValueLabel(const QString &label);

// The notes split at the section's heading; without one, all of it is the user's own.
NotesParts splitNotes(const QString &notes);

// The notes text of the parts: splitNotes' inverse for what import writes.
QString joinNotes(const QString &own, const QList<ImportedValue> &values);

// The notes with the values added at the end of their section (made when missing).
QString withValuesAdded(const QString &notes, const QList<ImportedValue> &values);

// An address the section keeps whole, as its seven parts in vCard order (PO box,
// extended address, street, locality, region, postal code, country): the parts joined
// by ";" with ";" and "\\" in a part escaped by a backslash, trailing empty parts left
// out; an address of a street alone is the street as it is.
QString addressText(const QStringList &parts);
// addressText's inverse, seven parts; a text without an unescaped ";" (what earlier
// imports wrote, the parts joined by ", ") is all street.
QStringList addressParts(const QString &text);

} // namespace cardomine::interchange
