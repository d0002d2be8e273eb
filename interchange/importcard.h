// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interchange/importreader.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the vCard and CSV readers have in common: each turns one card (or row) into a
// Card, the plain list of what it holds, and buildContact() maps that onto the boxes.
namespace cardomine::interchange::importing {

// The line that opens the section of a contact's notes holding the values that were
// cut or have no box.
inline const QString ImportedValuesHeading =
    QStringLiteral("Imported values that do not fit a box:");

enum class PhoneKind
{
    Home,
    Work,
    Mobile, // mobile or pager
    Fax,
    Untyped, // no kind given: takes the home box when no home number is given
    Other,   // a kind with no box (car, assistant, ...)
};

struct Phone
{
    QString value;
    PhoneKind kind = PhoneKind::Untyped;
    QString label; // how the notes name it when it gets no box
    bool preferred = false;
    int order = 0;
    QList<PhoneKind> kinds; // every box its types allow, in the record's order; empty: kind
    QString boxLabel; // the label the card gives it (Apple's X-ABLabel), kept when it gets a box
    QString kindText; // its kind in words: vCard types, a label, a column's name (KindSuffix)
};

struct Email
{
    QString value;
    QString label;
    bool preferred = false;
    int order = 0;
    QString boxLabel;
    QString kindText;
};

struct Address
{
    QString street, city, region, postalCode;
    QString poBox, extended, country; // no box of their own
    QString label;
    bool home = false;
    bool preferred = false;
    int order = 0;
    QString boxLabel;
    QString kindText;
    bool isEmpty() const;
};

struct Card
{
    int line = 0;
    QString uid;
    QString given, family;
    bool structuredName = false; // the card gives its name in parts (vCard N), even if empty
    bool organisation = false;   // a company's card: its formatted name is no person's
    QStringList fullNames;       // the forms of the whole name a formatted name may repeat
    QString formattedName;
    QString company;
    QString dataType;
    QList<Phone> phones;
    QList<Email> emails;
    QList<Address> addresses;
    QStringList notes; // the card's own notes, in order
    QList<KeptBinary> binaries;

    // Values with no box, in the order the card holds them.
    void addExtra(const QString &label, const QString &value);
    // A note of the card. The section of values kept whole that our own export leaves
    // in a note (what no property stands for) is read back as values again.
    void addNote(const QString &note);
    int nextOrder() { return m_order++; }

private:
    friend ImportedContact buildContact(const Card &card);
    struct Extra
    {
        QString label;
        QString value;
        int order;
    };
    QList<Extra> m_extras;
    int m_order = 0;
};

ImportedContact buildContact(const Card &card);

// A value as its box holds it once imported: one line, trimmed, characters Windows-1252
// lacks as "?", cut to the box, without trailing spaces.
QString boxRendering(FieldBox box, const QString &value);
// How the notes' section names the whole value of a box that was cut ("Home phone").
QString boxLabel(FieldBox box);

// The kind the other side gave a value that went into a box, in its own words, is kept
// as "<box label> type: <words>" ("Fax or e-mail type: Work Fax") unless the box says
// it whole: the words name exactly the vCard type the box goes out with (boxType), or
// none. Export writes the words back as the property's types.
inline const QString KindSuffix = QStringLiteral(" type");
// The vCard type a phone box goes out with ("home", "work", "cell", "fax"); empty for
// the other boxes and an e-mail address in the fax box.
QString boxType(FieldBox box);

// Line ends of any kind (CR LF, LF, CR) as CR LF, the notes files' line end.
QString crlfLines(const QString &text);

// Bytes as UTF-8 when they are valid UTF-8, else as Windows-1252.
QString decodeGuessing(const QByteArray &bytes);

} // namespace cardomine::interchange::importing
