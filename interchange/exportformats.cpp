// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/exportformats.h"

#include "datastore/contactphotos.h"
#include "interchange/binaryvalues.h"
#include "interchange/cardfileid.h"
#include "interchange/formulaquote.h"
#include "interchange/importcard.h"
#include "interchange/vcardproperty.h"
#include "interchange/wholecontact.h"

#include <QMap>

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace cardomine::interchange {

namespace {

constexpr qsizetype MaxLineOctets = 75;

const QByteArray CrLf = QByteArrayLiteral("\r\n");

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

bool isAtomCharacter(QChar c)
{
    return c.isLetterOrNumber() || QStringView(u"!#$%&'*+/=?^_`{|}~-").contains(c);
}

QString uuidUrn(const QUuid &uuid)
{
    return QStringLiteral("urn:uuid:") + uuid.toString(QUuid::WithoutBraces);
}

// The name an address book lists the card under: the person's, else the company's,
// else the first thing the record holds that tells the contact apart.
QString formattedName(const QString &first, const QString &last, const QString &company,
                      const QStringList &others, const QString &number)
{
    const auto shows = [](const QString &text) { return !text.trimmed().isEmpty(); };
    QStringList nameParts;
    if (shows(first))
        nameParts.append(first);
    if (shows(last))
        nameParts.append(last);
    if (!nameParts.isEmpty())
        return nameParts.join(QLatin1Char(' '));
    if (shows(company))
        return company;
    for (const QString &other : others) {
        if (shows(other))
            return other;
    }
    return QStringLiteral("Contact ") + number;
}

} // namespace

QString escapeText(const QString &value)
{
    const auto special = [](QChar c) {
        return c == u'\\' || c == u',' || c == u';' || c == u'\r' || c == u'\n';
    };
    // Most values hold nothing to escape: they go out as they are, without a copy.
    if (std::none_of(value.cbegin(), value.cend(), special))
        return value;
    // Each character becomes at most two.
    QString out(value.size() * 2, Qt::Uninitialized);
    QChar *next = out.data();
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (!special(c)) {
            *next++ = c;
            continue;
        }
        *next++ = u'\\';
        if (c == u'\r' || c == u'\n') {
            *next++ = u'n';
            // CR LF is one line end.
            if (c == u'\r' && i + 1 < value.size() && value.at(i + 1) == u'\n')
                ++i;
        } else {
            *next++ = c;
        }
    }
    out.truncate(next - out.constData());
    return out;
}

namespace {

// Where the first CR LF of a text starts, or -1.
qsizetype lineEnd(QStringView text)
{
    for (qsizetype at = text.indexOf(u'\r'); at >= 0; at = text.indexOf(u'\r', at + 1))
        if (at + 1 < text.size() && text.at(at + 1) == u'\n')
            return at;
    return -1;
}

// foldLine, appending to out.
void appendFolded(QByteArray &out, QStringView line)
{
    // A short ASCII line, the usual one, is its own bytes and needs no fold.
    if (line.size() <= MaxLineOctets &&
        std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 0x80; })) {
        const qsizetype at = out.size();
        out.resize(at + line.size());
        char *bytes = out.data() + at;
        for (const QChar c : line)
            *bytes++ = char(c.unicode());
        out += CrLf;
        return;
    }
    const QByteArray bytes = line.toUtf8();
    qsizetype pos = 0;
    bool first = true;
    while (true) {
        // A continuation line's leading space counts against its 75 octets.
        const qsizetype room = first ? MaxLineOctets : MaxLineOctets - 1;
        qsizetype end = pos + room;
        if (end >= bytes.size()) {
            end = bytes.size();
        } else {
            while (end > pos && isContinuationByte(bytes.at(end)))
                --end;
            // Never between a backslash and the character it escapes: some readers
            // take a line ending in a backslash for a line of the value.
            qsizetype backslashes = 0;
            while (end - backslashes > pos && bytes.at(end - backslashes - 1) == '\\')
                ++backslashes;
            if (backslashes % 2 == 1 && end - 1 > pos)
                --end;
        }
        if (!first)
            out += ' ';
        out += QByteArrayView(bytes).sliced(pos, end - pos);
        out += CrLf;
        pos = end;
        first = false;
        if (pos >= bytes.size())
            break;
    }
}

} // namespace

QByteArray foldLine(const QString &line)
{
    QByteArray out;
    appendFolded(out, line);
    return out;
}

bool isEmailAddress(const QString &value)
{
    const qsizetype at = value.indexOf(u'@');
    if (at <= 0 || at != value.lastIndexOf(u'@'))
        return false;
    const QStringView local = QStringView(value).left(at);
    if (local.startsWith(u'.') || local.endsWith(u'.') || local.contains(u".."))
        return false;
    for (const QChar c : local) {
        if (c != u'.' && !isAtomCharacter(c))
            return false;
    }
    const QList<QStringView> labels = QStringView(value).mid(at + 1).split(u'.');
    if (labels.size() < 2)
        return false;
    for (const QStringView label : labels) {
        if (label.isEmpty() || label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (const QChar c : label) {
            if (c != u'-' && !c.isLetterOrNumber())
                return false;
        }
    }
    return true;
}

QString csvCell(const QString &value)
{
    QString cell = value;
    if (needsFormulaQuote(cell))
        cell.prepend(u'\'');
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\r') &&
        !cell.contains(u'\n'))
        return cell;
    cell.replace(u'"', QLatin1String("\"\""));
    return u'"' + cell + u'"';
}

namespace {

// The first value under one of the labels, taken out of the list: the parts of the
// name, company and address that import keeps beside the boxes.
struct Taken
{
    QString value;
    qsizetype at = -1; // its place in the section, or -1
};

Taken take(const WholeContact &whole, QList<bool> &used, const QString &label)
{
    for (qsizetype i = 0; i < whole.values.size(); ++i) {
        if (!used[i] && !whole.stale.contains(i) && whole.values.at(i).label == label) {
            used[i] = true;
            return {whole.values.at(i).value, i};
        }
    }
    return {};
}

// The types a kept kind goes out as: the list vCard import wrote ("work, fax", any
// type word as it was), else the types its words name ("Work Fax"); nullopt for words
// that name no type ("Main"), which go out as the value's label.
std::optional<QStringList> typesOfKind(const QString &kind)
{
    const auto token = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-';
    };
    const QStringList items = kind.split(QStringLiteral(", "));
    if (std::all_of(items.cbegin(), items.cend(), [&token](const QString &item) {
            return !item.isEmpty() && std::all_of(item.cbegin(), item.cend(), token);
        }))
        return items;
    return vcardTypesOf(kind);
}

qsizetype firstPlace(std::initializer_list<Taken> taken)
{
    qsizetype first = -1;
    for (const Taken &t : taken)
        if (t.at >= 0 && (first < 0 || t.at < first))
            first = t.at;
    return first;
}

// escape: false for a value that is no text (a data: URI).
QString propertyLine(const VCardProperty &property, const QString &value, int &group,
                     bool escape = true)
{
    QString line;
    QString groupPrefix;
    if (!property.groupLabel.isEmpty())
        groupPrefix = QStringLiteral("item%1.").arg(++group);
    line = groupPrefix + property.name;
    if (!property.types.isEmpty())
        line += QStringLiteral(";TYPE=") + property.types.join(u',');
    if (!property.ownLabel.isEmpty())
        line += u';' + OwnLabelParameter + u'=' + quotedParameter(property.ownLabel);
    if (!property.ownKind.isEmpty())
        line += u';' + OwnKindParameter + u'=' + quotedParameter(property.ownKind);
    if (property.name == u"ADR") {
        // Each part in its place, as the address came in.
        QStringList parts;
        for (const QString &part : addressParts(value))
            parts.append(escapeText(part));
        line += u':' + parts.join(u';');
    } else {
        line += u':' + (escape ? escapeText(value) : value);
    }
    if (!property.groupLabel.isEmpty())
        line += QStringLiteral("\r\n") + groupPrefix + QStringLiteral("X-ABLABEL:") +
                escapeText(property.groupLabel);
    return line;
}

// The property a value of the notes' section goes out as; none for the whole value of a
// box changed since, which stays note text.
std::optional<VCardProperty> propertyOf(const WholeContact &whole, qsizetype i)
{
    return whole.stale.contains(i) ? std::nullopt : vcardPropertyFor(whole.values.at(i).label);
}

// A binary value (a photo) that names a file of the photos folder.
bool namesStoredFile(const std::optional<VCardProperty> &property, const QString &value)
{
    return property && isBinaryProperty(property->name.toLatin1()) &&
           photos::parseEntry(value).has_value();
}

} // namespace

namespace {

// Appends one contact's card made from its whole values. chooseUid(whole, used, id)
// gives its UID value as it goes out; it may take a value of the section (marking it
// used).
template <typename ChooseUid>
void appendCard(QByteArray &out, const Contact &contact, const WholeContact &whole,
                ChooseUid &&chooseUid)
{
    using importing::boxLabel;
    const ContactRecord &r = contact.record;
    const auto box = [&whole](FieldBox b) -> const QString & { return whole.boxes[size_t(b)]; };
    const QString &first = box(FieldBox::FirstName);
    const QString &last = box(FieldBox::LastName);
    const QString &company = box(FieldBox::Company);
    const QString &address = box(FieldBox::Address);
    const QString &city = box(FieldBox::City);
    const QString &state = box(FieldBox::State);
    const QString &zip = box(FieldBox::Zip);
    const QString &home = box(FieldBox::HomePhone);
    const QString &work = box(FieldBox::WorkPhone);
    const QString &mobile = box(FieldBox::PagerMobile);
    const QString faxOrEmail = box(FieldBox::FaxOrEmail).trimmed();
    const QString id = fieldValue(r.ContactID.text()).trimmed();

    QList<bool> used(whole.values.size(), false);
    // Values of the section that belong to the name, company and address: they go
    // out inside those properties, placed where the first of them stood, so that
    // reading the card back lists them in the same order.
    const Taken formatted = take(whole, used, QStringLiteral("Formatted name"));
    const Taken middle = take(whole, used, QStringLiteral("Middle name"));
    const Taken prefix = take(whole, used, QStringLiteral("Name prefix"));
    const Taken suffix = take(whole, used, QStringLiteral("Name suffix"));
    const Taken department = take(whole, used, QStringLiteral("Department"));
    const Taken poBox = take(whole, used, QStringLiteral("PO box"));
    const Taken extended = take(whole, used, QStringLiteral("Extended address"));
    const Taken country = take(whole, used, QStringLiteral("Country"));
    const QString uid = chooseUid(whole, used, id);

    QStringList lines{QStringLiteral("BEGIN:VCARD"), QStringLiteral("VERSION:4.0")};
    const QString fullName =
        !formatted.value.isEmpty()
            ? formatted.value
            : formattedName(first, last, company,
                            {faxOrEmail, home, work, mobile, address, city, state, zip},
                            id.isEmpty() ? QString::number(contact.position) : id);
    lines.append(QStringLiteral("FN:") + escapeText(fullName));

    QMap<qsizetype, QStringList> placed; // lines that go where a section value stood
    const auto put = [&lines, &placed](qsizetype at, const QString &line) {
        if (at < 0)
            lines.append(line);
        else
            placed[at].append(line);
    };
    // N even when empty: readers that miss it make names out of FN.
    put(firstPlace({middle, prefix, suffix}),
        QStringLiteral("N:") + escapeText(last) + u';' + escapeText(first) + u';' +
            escapeText(middle.value) + u';' + escapeText(prefix.value) + u';' +
            escapeText(suffix.value));
    if (!company.isEmpty() || !department.value.isEmpty())
        put(department.at,
            QStringLiteral("ORG:") + escapeText(company) +
                (department.value.isEmpty() ? QString() : u';' + escapeText(department.value)));
    int group = 0;
    // The card's own label of a value that went into a box ("Home phone label:
    // Mobile") goes out as that property's label, where the label stood.
    const auto labelOf = [&whole, &used](FieldBox b) {
        if (whole.values.isEmpty())
            return Taken{};
        return take(whole, used, boxLabel(b) + QStringLiteral(" label"));
    };
    // The kind the value had where it came from, when the box does not say it: its
    // types, and the words themselves when they are not the types as vCard writes
    // them ("Work Fax", "Main").
    struct Kind
    {
        QStringList types;
        QString words;
        qsizetype at = -1;
    };
    const auto kindOf = [&whole, &used](FieldBox b, const QString &type) {
        Kind kind{type.isEmpty() ? QStringList() : QStringList{type}, {}, -1};
        if (whole.values.isEmpty())
            return kind;
        const Taken words = take(whole, used, boxLabel(b) + importing::KindSuffix);
        if (words.at < 0)
            return kind;
        const QString text = words.value.trimmed();
        const std::optional<QStringList> types = typesOfKind(text);
        if (types && !types->isEmpty())
            kind.types = *types;
        if (!types || types->join(QStringLiteral(", ")) != text)
            kind.words = text;
        kind.at = words.at;
        return kind;
    };
    const QStringList adr{poBox.value, extended.value, address, city, state, zip, country.value};
    if (!adr.join(QString()).isEmpty()) {
        QStringList parts;
        for (const QString &part : adr)
            parts.append(escapeText(part));
        // Beside other addresses it is the preferred one, so that it is the one that
        // fills the boxes again.
        bool others = false;
        for (qsizetype i = 0; i < whole.values.size(); ++i)
            if (const auto p = used[i] ? std::nullopt : vcardPropertyFor(whole.values.at(i).label);
                p && p->name == u"ADR" && !whole.stale.contains(i))
                others = true;
        const Taken label = labelOf(FieldBox::Address);
        const Kind kind = kindOf(FieldBox::Address, QString());
        const QString item =
            label.value.isEmpty() ? QString() : QStringLiteral("item%1.").arg(++group);
        QString line = item + QStringLiteral("ADR");
        if (!kind.types.isEmpty())
            line += QStringLiteral(";TYPE=") + kind.types.join(u',');
        if (!kind.words.isEmpty())
            line += u';' + OwnKindParameter + u'=' + quotedParameter(kind.words);
        line += (others ? QStringLiteral(";PREF=1:") : QStringLiteral(":")) + parts.join(u';');
        if (!item.isEmpty())
            line += QStringLiteral("\r\n") + item + QStringLiteral("X-ABLABEL:") +
                    escapeText(label.value);
        put(firstPlace({poBox, extended, country, label, Taken{{}, kind.at}}), line);
    }
    const auto boxProperty = [&](FieldBox b, const QString &name, const QString &type,
                                 const QString &value) {
        if (value.isEmpty())
            return;
        const Taken label = labelOf(b);
        const Kind kind = kindOf(b, type);
        const VCardProperty property{name, kind.types, label.value, {}, kind.words};
        put(firstPlace({label, Taken{{}, kind.at}}), propertyLine(property, value, group));
    };
    using importing::boxType;
    boxProperty(FieldBox::HomePhone, QStringLiteral("TEL"), boxType(FieldBox::HomePhone), home);
    boxProperty(FieldBox::WorkPhone, QStringLiteral("TEL"), boxType(FieldBox::WorkPhone), work);
    boxProperty(FieldBox::PagerMobile, QStringLiteral("TEL"), boxType(FieldBox::PagerMobile),
                mobile);
    // A box filled to its width with an "@" in it and no whole value in the notes may
    // be an address cut short: it goes out as note text, never as EMAIL or TEL.
    QStringList noteLines;
    const bool mayBeCut = !whole.restored[size_t(FieldBox::FaxOrEmail)] &&
                          faxOrEmail.contains(u'@') &&
                          faxOrEmail.size() >= r.FaxOrEmail.text().size();
    if (mayBeCut)
        noteLines.append(boxLabel(FieldBox::FaxOrEmail) + QStringLiteral(": ") + faxOrEmail);
    else if (isEmailAddress(faxOrEmail))
        boxProperty(FieldBox::FaxOrEmail, QStringLiteral("EMAIL"), QString(), faxOrEmail);
    else
        boxProperty(FieldBox::FaxOrEmail, QStringLiteral("TEL"), boxType(FieldBox::FaxOrEmail),
                    faxOrEmail);

    const int photoOwner = ContactRecord::parseNumber(id).value_or(contact.position);
    // Every other value of the section as its own property; what no property
    // stands for, and the whole values of boxes changed since, stay note text.
    QList<ImportedValue> kept;
    for (qsizetype i = 0; i < whole.values.size(); ++i) {
        if (const auto it = placed.constFind(i); it != placed.cend())
            lines.append(*it);
        if (used[i])
            continue;
        const ImportedValue &v = whole.values.at(i);
        const std::optional<VCardProperty> property = propertyOf(whole, i);
        // A photo (or another binary value) kept in the photos folder goes out whole;
        // when its file is gone, its name stays note text.
        if (namesStoredFile(property, v.value)) {
            if (const std::optional<QString> uri =
                    storedBinaryValue(photoOwner, property->name, v.value))
                lines.append(propertyLine(*property, *uri, group, false));
            else
                kept.append(v);
            continue;
        }
        if (property && !(property->name == u"EMAIL" && !isEmailAddress(v.value.trimmed())))
            lines.append(propertyLine(*property, v.value, group));
        else if (!whole.stale.contains(i) && !v.label.isEmpty())
            lines.append(propertyLine({OwnValueProperty, {}, {}, v.label}, v.value, group));
        else
            kept.append(v);
    }
    QString notes = whole.own;
    for (const QString &line : std::as_const(noteLines))
        notes += (notes.isEmpty() ? QString() : QStringLiteral("\r\n")) + line;
    notes = joinNotes(notes, kept);
    if (!notes.isEmpty())
        lines.append(QStringLiteral("NOTE:") + escapeText(notes));
    lines.append(QStringLiteral("UID:") + uid);
    lines.append(QStringLiteral("END:VCARD"));

    // A property with its label is two lines.
    for (const QString &line : std::as_const(lines)) {
        QStringView rest(line);
        for (qsizetype end; (end = lineEnd(rest)) >= 0; rest = rest.sliced(end + 2))
            appendFolded(out, rest.first(end));
        appendFolded(out, rest);
    }
}

} // namespace

QByteArray toVCard(const QList<Contact> &contacts, const QUuid &cardFile, CardUid cardUid)
{
    QByteArray out;
    out.reserve(contacts.size() * 512);
    QSet<int> numbersUsed;
    QSet<QString> foreignUidsUsed; // lower case
    const auto chooseUid = [&](const Contact &contact, const WholeContact &whole, QList<bool> &used,
                               const QString &id) {
        // The UID of the program the contact came from, so that program knows its card
        // again; once per file, since a UID names one card.
        if (cardUid == CardUid::Foreign)
            for (qsizetype i = 0; i < whole.values.size(); ++i) {
                const QString uid = whole.values.at(i).value.trimmed();
                if (!used[i] && !whole.stale.contains(i) && whole.values.at(i).label == u"UID" &&
                    !uid.isEmpty() && !uid.contains(u'\r') &&
                    !foreignUidsUsed.contains(uid.toLower())) {
                    used[i] = true;
                    foreignUidsUsed.insert(uid.toLower());
                    return escapeText(uid);
                }
            }
        // The contact's number names it in this card file; a record stored under a
        // number another record already took, or under none, is named by its position.
        const std::optional<int> number = ContactRecord::parseNumber(id);
        if (number && *number >= 1 && !numbersUsed.contains(*number)) {
            numbersUsed.insert(*number);
            return contactUid(cardFile, *number);
        }
        return uuidUrn(
            QUuid::createUuidV5(cardFile, QStringLiteral("record %1").arg(contact.position)));
    };
    for (const Contact &contact : contacts)
        appendCard(out, contact, wholeContact(contact.record, contact.notes),
                   [&](const WholeContact &whole, QList<bool> &used, const QString &id) {
                       return chooseUid(contact, whole, used, id);
                   });
    return out;
}

QByteArray toVCard(const Contact &contact, const WholeContact &whole, const QString &uid)
{
    QByteArray out;
    out.reserve(512);
    appendCard(out, contact, whole,
               [&uid](const WholeContact &, QList<bool> &, const QString &) { return uid; });
    return out;
}

QByteArray toCsv(const QList<Contact> &contacts)
{
    QByteArray out = QByteArrayLiteral("FirstName,LastName,Company,Address,City,State,Zip,"
                                       "ContactID,HomePhone,WorkPhone,PagerMobile,FaxOrEmail,"
                                       "DataType,Notes") +
                     CrLf;
    out.reserve(out.size() + contacts.size() * 256);
    for (const Contact &contact : contacts) {
        const ContactRecord &r = contact.record;
        // The boxes' own columns take their whole values; the rest of the section stays
        // in the notes, where import reads it back.
        const WholeContact whole = wholeContact(r, contact.notes);
        QStringList fields;
        for (int i = 0; i < FieldBoxCount; ++i) {
            if (FieldBox(i) == FieldBox::HomePhone)
                fields.append(fieldValue(r.ContactID.text()));
            fields.append(whole.boxes[size_t(i)]);
        }
        fields << fieldValue(r.DataType.text()) << joinNotes(whole.own, whole.values);
        QStringList cells;
        for (const QString &field : std::as_const(fields))
            cells.append(csvCell(field));
        out += cells.join(QLatin1Char(',')).toUtf8() + CrLf;
    }
    return out;
}

bool readsPhotosFolder(const WholeContact &whole)
{
    for (qsizetype i = 0; i < whole.values.size(); ++i)
        if (namesStoredFile(propertyOf(whole, i), whole.values.at(i).value))
            return true;
    return false;
}

} // namespace cardomine::interchange
