// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/importcard.h"

#include "interchange/importedvalues.h"
#include "interchange/textinput.h"
#include "interchange/vcardproperty.h"
#include "platform/textcodec.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <optional>

namespace cardomine::interchange::importing {

namespace {

using namespace Qt::StringLiterals;

struct BoxNames
{
    FieldBox box;
    QLatin1StringView field; // the record's field name, for reports
    QLatin1StringView label; // how the notes name a value cut from it
};

constexpr std::array<BoxNames, FieldBoxCount> Boxes{{
    {FieldBox::FirstName, "FirstName"_L1, "First name"_L1},
    {FieldBox::LastName, "LastName"_L1, "Last name"_L1},
    {FieldBox::Company, "Company"_L1, "Company"_L1},
    {FieldBox::Address, "Address"_L1, "Address"_L1},
    {FieldBox::City, "City"_L1, "City"_L1},
    {FieldBox::State, "State"_L1, "State"_L1},
    {FieldBox::Zip, "Zip"_L1, "Zip"_L1},
    {FieldBox::HomePhone, "HomePhone"_L1, "Home phone"_L1},
    {FieldBox::WorkPhone, "WorkPhone"_L1, "Work phone"_L1},
    {FieldBox::PagerMobile, "PagerMobile"_L1, "Mobile or pager"_L1},
    {FieldBox::FaxOrEmail, "FaxOrEmail"_L1, "Fax or e-mail"_L1},
}};

const BoxNames &namesOf(FieldBox box)
{
    return Boxes[size_t(box)];
}

QString withoutTrailingSpaces(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ')
        --end;
    return text.left(end);
}

// A box holds one line: the lines of a value are joined with ", " (a line end inside
// a field would break the card file's sequential form), a tab becomes a space and no
// other control character is kept.
QString oneLine(const QString &value)
{
    const auto control = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; };
    if (std::none_of(value.cbegin(), value.cend(), control))
        return value;
    QString text = value;
    if (text.contains(u'\r') || text.contains(u'\n')) {
        QStringList parts = crlfLines(text).split(u"\r\n"_s);
        parts.removeAll(QString());
        text = parts.join(u", "_s);
    }
    text.replace(u'\t', u' ');
    text.removeIf(control);
    return text;
}

// The text as the store keeps it: characters Windows-1252 lacks become "?".
bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

QString storable(const QString &value, bool &replaced)
{
    if (isAscii(value))
        return value; // the common case, the same in Windows-1252
    const QString composed = value.normalized(QString::NormalizationForm_C);
    QString stored = platform::text::decode(platform::text::encode(composed));
    if (stored != composed)
        replaced = true;
    return stored;
}

QString simplifiedKey(const QString &text)
{
    return caseFolded(text.simplified());
}

template <typename T> bool firstComes(const T &a, const T &b)
{
    if (a.preferred != b.preferred)
        return a.preferred;
    return a.order < b.order;
}

QString joinNonEmpty(const QStringList &parts, const QString &separator)
{
    QStringList kept;
    for (const QString &part : parts)
        if (!part.trimmed().isEmpty())
            kept.append(part.trimmed());
    return kept.join(separator);
}

struct Line
{
    int order;
    QString text;
};

} // namespace

bool Address::isEmpty() const
{
    for (const QString *part : {&street, &city, &region, &postalCode, &poBox, &extended, &country})
        if (!part->trimmed().isEmpty())
            return false;
    return true;
}

void Card::addExtra(const QString &label, const QString &value)
{
    if (value.trimmed().isEmpty())
        return;
    m_extras.append({label, value, nextOrder()});
}

void Card::addNote(const QString &note)
{
    const NotesParts parts = splitNotes(crlfLines(note));
    QString own = parts.own;
    for (const ImportedValue &v : parts.values) {
        if (v.label.isEmpty())
            own += (own.isEmpty() ? QString() : u"\r\n"_s) + v.value;
        else
            addExtra(v.label, v.value);
    }
    if (!own.isEmpty())
        notes.append(own);
}

QString crlfLines(const QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += u"\r\n"_s;
        } else if (c == u'\n') {
            out += u"\r\n"_s;
        } else {
            out += c;
        }
    }
    return out;
}

QString decodeGuessing(const QByteArray &bytes)
{
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return (c & 0x80) == 0; }))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return platform::text::decode(bytes);
}

QString boxRendering(FieldBox box, const QString &value)
{
    bool replaced = false;
    ContactRecord record;
    record.setField(box, withoutTrailingSpaces(storable(oneLine(value).trimmed(), replaced)));
    return withoutTrailingSpaces(record.fieldText(box));
}

QString boxLabel(FieldBox box)
{
    return namesOf(box).label;
}

QString boxType(FieldBox box)
{
    switch (box) {
    case FieldBox::HomePhone:
        return u"home"_s;
    case FieldBox::WorkPhone:
        return u"work"_s;
    case FieldBox::PagerMobile:
        return u"cell"_s;
    case FieldBox::FaxOrEmail:
        return u"fax"_s;
    default:
        return {};
    }
}

ImportedContact buildContact(const Card &card)
{
    ImportedContact contact;
    contact.line = card.line;
    contact.uid = card.uid.trimmed();
    contact.record.DataType = u"Contacts"_s;
    contact.binaries = card.binaries;

    QList<Line> kept; // values for the notes
    int cutOrder = -FieldBoxCount - 1;
    const auto setBox = [&](FieldBox box, const QString &value) {
        const QString line = oneLine(value).trimmed();
        const QString stored = withoutTrailingSpaces(storable(line, contact.replacedCharacters));
        contact.record.setField(box, stored);
        if (stored.size() > contact.record.fieldText(box).size()) {
            contact.cut.append(namesOf(box).field);
            kept.append({cutOrder + int(box), namesOf(box).label + u": "_s + line});
        }
    };
    const auto keep = [&kept](int order, const QString &label, const QString &value) {
        if (!value.trimmed().isEmpty())
            kept.append({order, label + u": "_s + crlfLines(value.trimmed())});
    };
    // The card's own label of a value that went into a box ("Home phone label: Privat").
    const auto keepBoxLabel = [&keep](int order, FieldBox box, const QString &label) {
        keep(order, namesOf(box).label + u" label"_s, label);
    };
    // The kind the card gave a value that went into a box, unless the box says it whole
    // (said: the box's type, or none). Words that name no type (no kind, "Phone") say
    // nothing the box would narrow.
    const auto keepKind = [&keep](int order, FieldBox box, const QString &kind,
                                  const QString &said) {
        if (kind.trimmed().isEmpty())
            return;
        const std::optional<QStringList> types = vcardTypesOf(kind);
        if (types && (types->isEmpty() || *types == QStringList{said}))
            return;
        keep(order, namesOf(box).label + KindSuffix, kind.trimmed());
    };

    // Names: the structured name when the card has one (even empty: the card then
    // names no person), else the formatted name split at its last space (or at a
    // comma: "Family, Given"), unless it only repeats another value of the card, as
    // the formatted names of companies and bare numbers do.
    QString given = card.given;
    QString family = card.family;
    const QString formatted = card.formattedName.trimmed();
    const auto repeatsOtherValue = [&card](const QString &text) {
        const QString key = simplifiedKey(text);
        QStringList values{card.company};
        for (const Phone &phone : card.phones)
            values.append(phone.value);
        for (const Email &email : card.emails)
            values.append(email.value);
        for (const Address &a : card.addresses)
            values << a.street << a.city << a.region << a.postalCode;
        return std::any_of(values.cbegin(), values.cend(),
                           [&key](const QString &value) { return simplifiedKey(value) == key; });
    };
    // The name this program's export gives a card that has nothing else to be known by.
    static const QRegularExpression placeholder(u"^Contact \\d+$"_s);
    // An empty N (Thunderbird's CardBook, Apple and Evolution write "N:;;;;") names no
    // one, as a missing N does; the formatted name then gives the names, unless the card
    // is a company's or the name is the placeholder of our own export.
    const bool namesGiven = !given.trimmed().isEmpty() || !family.trimmed().isEmpty();
    const bool placeholderName = !namesGiven && placeholder.match(formatted).hasMatch();
    if (!namesGiven && !formatted.isEmpty() && !card.organisation && !placeholderName) {
        if (!repeatsOtherValue(formatted)) {
            if (formatted.count(u',') == 1) {
                family = formatted.section(u',', 0, 0).trimmed();
                given = formatted.section(u',', 1).trimmed();
            } else if (const qsizetype space = formatted.lastIndexOf(u' '); space > 0) {
                given = formatted.left(space).trimmed();
                family = formatted.mid(space + 1);
            } else {
                given = formatted;
            }
        }
    } else if (namesGiven) {
        // Export names the card by its first and last name: any other formatted name
        // ("Dr. Ada Lovelace", "Lovelace, Ada") is kept to go out as it was.
        if (formatted != joinNonEmpty({given.trimmed(), family.trimmed()}, u" "_s))
            keep(-1, u"Formatted name"_s, formatted);
    } else if (!formatted.isEmpty() && !placeholderName) {
        QStringList forms = card.fullNames;
        forms << joinNonEmpty({given, family}, u" "_s) << joinNonEmpty({family, given}, u" "_s)
              << joinNonEmpty({family, given}, u", "_s);
        const QString key = simplifiedKey(formatted);
        const bool repeated = std::any_of(forms.cbegin(), forms.cend(), [&key](const QString &f) {
            return simplifiedKey(f) == key;
        });
        if (!repeated && !repeatsOtherValue(formatted))
            keep(-1, u"Formatted name"_s, formatted);
    }
    setBox(FieldBox::FirstName, given);
    setBox(FieldBox::LastName, family);
    setBox(FieldBox::Company, card.company);

    // The address: the preferred one, else the home one, else the first.
    QList<Address> addresses;
    for (const Address &address : card.addresses)
        if (!address.isEmpty())
            addresses.append(address);
    std::stable_sort(addresses.begin(), addresses.end(), [](const Address &a, const Address &b) {
        if (a.preferred != b.preferred)
            return a.preferred;
        if (a.home != b.home)
            return a.home;
        return a.order < b.order;
    });
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const Address &a = addresses.at(i);
        if (i == 0) {
            setBox(FieldBox::Address, a.street);
            setBox(FieldBox::City, a.city);
            setBox(FieldBox::State, a.region);
            setBox(FieldBox::Zip, a.postalCode);
            keepBoxLabel(a.order, FieldBox::Address, a.boxLabel);
            keepKind(a.order, FieldBox::Address, a.kindText, QString());
            keep(a.order, u"PO box"_s, a.poBox);
            keep(a.order, u"Extended address"_s, a.extended);
            keep(a.order, u"Country"_s, a.country);
        } else {
            keep(a.order, a.label,
                 addressText(
                     {a.poBox, a.extended, a.street, a.city, a.region, a.postalCode, a.country}));
        }
    }

    // Phones: the first (or preferred) of each kind that has a box; a number of no
    // kind takes the home box when no home number is given; the fax box takes a fax
    // number, else the first e-mail address.
    QList<Phone> phones;
    for (const Phone &phone : card.phones)
        if (!phone.value.trimmed().isEmpty())
            phones.append(phone);
    std::stable_sort(phones.begin(), phones.end(), firstComes<Phone>);
    QList<Email> emails;
    for (const Email &email : card.emails)
        if (!email.value.trimmed().isEmpty())
            emails.append(email);
    std::stable_sort(emails.begin(), emails.end(), firstComes<Email>);

    // Each number takes the first free box its types allow: first the numbers of one
    // kind, then those of several ("TEL;CELL;HOME"), then a number of no kind the home
    // box.
    QList<bool> placed(phones.size(), false);
    QList<bool> taken(FieldBoxCount, false);
    const auto boxOf = [](PhoneKind kind) -> std::optional<FieldBox> {
        switch (kind) {
        case PhoneKind::Home:
        case PhoneKind::Untyped:
            return FieldBox::HomePhone;
        case PhoneKind::Work:
            return FieldBox::WorkPhone;
        case PhoneKind::Mobile:
            return FieldBox::PagerMobile;
        case PhoneKind::Fax:
            return FieldBox::FaxOrEmail;
        case PhoneKind::Other:
            break;
        }
        return std::nullopt;
    };
    const auto place = [&](const auto &wanted) {
        for (qsizetype i = 0; i < phones.size(); ++i) {
            const Phone &phone = phones.at(i);
            const QList<PhoneKind> kinds =
                phone.kinds.isEmpty() ? QList<PhoneKind>{phone.kind} : phone.kinds;
            if (placed[i] || !wanted(kinds))
                continue;
            for (const PhoneKind kind : kinds) {
                const std::optional<FieldBox> box = boxOf(kind);
                if (box && !taken[qsizetype(*box)]) {
                    placed[i] = taken[qsizetype(*box)] = true;
                    setBox(*box, phone.value);
                    keepBoxLabel(phone.order, *box, phone.boxLabel);
                    keepKind(phone.order, *box, phone.kindText, boxType(*box));
                    break;
                }
            }
        }
    };
    const auto untyped = [](const QList<PhoneKind> &kinds) {
        return kinds.contains(PhoneKind::Untyped);
    };
    place([&](const QList<PhoneKind> &kinds) { return kinds.size() == 1 && !untyped(kinds); });
    place([](const QList<PhoneKind> &kinds) { return kinds.size() > 1; });
    place(untyped);
    const bool fax = taken[qsizetype(FieldBox::FaxOrEmail)];
    for (qsizetype i = 0; i < phones.size(); ++i)
        if (!placed[i])
            keep(phones[i].order, phones[i].label, phones[i].value);
    for (qsizetype i = 0; i < emails.size(); ++i) {
        if (i == 0 && !fax) {
            setBox(FieldBox::FaxOrEmail, emails[i].value);
            keepBoxLabel(emails[i].order, FieldBox::FaxOrEmail, emails[i].boxLabel);
            keepKind(emails[i].order, FieldBox::FaxOrEmail, emails[i].kindText, QString());
        } else {
            keep(emails[i].order, emails[i].label, emails[i].value);
        }
    }

    if (!card.dataType.trimmed().isEmpty() && card.dataType.trimmed() != u"Contacts")
        keep(-1, u"Data type"_s, card.dataType);
    for (const Card::Extra &extra : card.m_extras)
        keep(extra.order, extra.label, extra.value);

    std::stable_sort(kept.begin(), kept.end(),
                     [](const Line &a, const Line &b) { return a.order < b.order; });
    QStringList ownNotes;
    for (const QString &note : card.notes)
        ownNotes.append(crlfLines(note));
    QString notes = ownNotes.join(u"\r\n"_s);
    if (!kept.isEmpty()) {
        if (!notes.isEmpty())
            notes += u"\r\n"_s;
        notes += ImportedValuesHeading;
        for (const Line &line : std::as_const(kept))
            notes += u"\r\n"_s + line.text;
    }
    contact.notes = storable(notes, contact.replacedCharacters);

    contact.name = formatted;
    if (contact.name.isEmpty())
        contact.name = joinNonEmpty({given, family}, u" "_s);
    if (contact.name.isEmpty())
        contact.name = card.company.trimmed();
    if (contact.name.isEmpty() && !emails.isEmpty())
        contact.name = emails.first().value.trimmed();
    if (contact.name.isEmpty() && !phones.isEmpty())
        contact.name = phones.first().value.trimmed();
    if (contact.name.isEmpty())
        contact.name = u"(no name)"_s;
    // Reports print the name: no control character of the file reaches the terminal.
    contact.name = quotedInput(contact.name);
    return contact;
}

} // namespace cardomine::interchange::importing
