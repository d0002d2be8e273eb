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
    // The label the value goes back under when it is read again, when the property's
    // name and types do not give it (a CSV column's name); written as OwnLabelParameter.
    QString ownLabel;
    // The kind a box's value had in words other than its types ("Work Fax"), written as
    // OwnKindParameter so that reading the card back keeps the same words.
    QString ownKind = {};
};

// A value of the section that no property stands for goes out as OwnValueProperty with
// its label in OwnLabelParameter, so that reading the card back puts the same line in the
// same place; other programs keep or ignore such an extension.
inline constexpr QLatin1StringView OwnValueProperty{"X-CARDOMINE-VALUE"};
inline constexpr QLatin1StringView OwnLabelParameter{"X-CARDOMINE-LABEL"};
inline constexpr QLatin1StringView OwnKindParameter{"X-CARDOMINE-KIND"};

// A parameter value quoted, with "^", a double quote and a line end written as "^^",
// "^'" and "^n"; and back.
QString quotedParameter(const QString &value);
QString unquotedParameter(const QString &value);

// nullopt for a label no property stands for: the value stays note text.
std::optional<VCardProperty> vcardPropertyFor(const QString &label);

// The vCard types a kind written in words names, each once, in its order: a TYPE list
// ("work, fax"), a label of another address book ("Work Fax", "* Mobile") or a CSV
// column's name ("Business Fax", "HomePhone"); words such as "phone" and numbers name
// no type. nullopt when a word is no type ("Main", "Boat"): the words are then the
// value's label, not its types.
std::optional<QStringList> vcardTypesOf(const QString &kind);

} // namespace cardomine::interchange
