// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Which vCard property a value of the notes' section goes out as, read from its label:
// the labels import gives ("Phone (cell, home)", "Birthday", "X-JABBER") and the
// column names of the CSV files it reads ("Job Title", "Other Phone").
namespace cardomine::interchange {

struct VCardProperty
{
    QString name;       // "TEL", "X-JABBER"
    QStringList types;  // TYPE= values, lower case
    QString groupLabel; // a label of the address book's own (Apple's X-ABLabel)
};

// nullopt for a label no property stands for: the value stays note text.
std::optional<VCardProperty> vcardPropertyFor(const QString &label);

} // namespace cardomine::interchange
