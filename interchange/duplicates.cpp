// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/duplicates.h"

#include "datastore/notesfile.h"
#include "interchange/exportformats.h"
#include "interchange/textinput.h"
#include "interchange/vcardproperty.h"
#include "interchange/wholecontact.h"
#include "platform/textcodec.h"

#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include <optional>

namespace cardomine::interchange {

using namespace Qt::StringLiterals;

namespace {

// The digits of a value that looks like a telephone number (digits with spaces and
// "+-.()/" between them, at least three digits); nullopt for any other value.
std::optional<QString> phoneDigits(const QString &value)
{
    QString digits;
    digits.reserve(value.size());
    for (const QChar c : value) {
        if (c.isDigit())
            digits += c;
        else if (!QStringView(u" +-.()/").contains(c))
            return std::nullopt;
    }
    if (digits.size() < 3)
        return std::nullopt;
    return digits;
}

// A value as it is compared: an address in lower case, a number by its digits, any
// other text case and spacing aside.
QString keyOf(const QString &value)
{
    const QString text = value.trimmed();
    if (isEmailAddress(text))
        return u"e:"_s + caseFolded(text);
    if (const std::optional<QString> digits = phoneDigits(text))
        return u"p:"_s + *digits;
    return u"t:"_s + caseFolded(text.simplified());
}

// The label a box's value goes under when it is merged into another contact: one that
// goes out as a property of its own, never one the box's whole value would take.
QString mergeLabel(FieldBox box, const QString &value)
{
    switch (box) {
    case FieldBox::HomePhone:
        return u"Phone (home)"_s;
    case FieldBox::WorkPhone:
        return u"Phone (work)"_s;
    case FieldBox::PagerMobile:
        return u"Phone (cell)"_s;
    case FieldBox::FaxOrEmail:
        return value.contains(u'@') ? u"E-mail"_s : u"Phone (fax)"_s;
    default:
        return u"Company"_s;
    }
}

} // namespace

QString nameKey(const ContactRecord &r)
{
    return caseFolded(r.FirstName.text().simplified()) + u'\x1f' +
           caseFolded(r.LastName.text().simplified());
}

bool isBlank(const ContactRecord &r)
{
    for (int i = 0; i < FieldBoxCount; ++i) {
        const QString text = r.fieldText(static_cast<FieldBox>(i));
        for (const QChar c : text)
            if (c != u' ' && c != QChar(0))
                return false;
    }
    return true;
}

bool isCardFileUid(const QString &uid)
{
    const QString text = uid.trimmed();
    // The bare contact number that older exports and the CSV's ID column give.
    static const QRegularExpression number(u"^[0-9]{1,5}$"_s);
    if (number.match(text).hasMatch())
        return true;
    if (!text.startsWith(u"urn:uuid:"_s, Qt::CaseInsensitive))
        return false;
    return QUuid::fromString(QStringView(text).mid(9)).version() == QUuid::Sha1;
}

QString notesWithUid(const QString &notes, const QString &uid)
{
    if (uid.trimmed().isEmpty() || isCardFileUid(uid))
        return notes;
    return withValuesAdded(notes, {{u"UID"_s, uid.trimmed()}});
}

ContactValues::ContactValues(const ContactRecord &record, const QString &notes, const QString &uid)
    : blank(isBlank(record))
{
    const WholeContact whole = wholeContact(record, notes);
    const auto &b = whole.boxes;
    name = caseFolded(b[size_t(FieldBox::FirstName)].simplified()) + u'\x1f' +
           caseFolded(b[size_t(FieldBox::LastName)].simplified());
    boxes = QStringList(b.cbegin(), b.cend()).join(u'\x1f');
    own = whole.own.trimmed();

    // compared: the text the value is compared by, when it is not the value itself.
    const auto addValue = [this](const QString &label, const QString &value,
                                 const QString &compared = QString()) {
        if (value.trimmed().isEmpty())
            return;
        values.append({label, value});
        keys.append(keyOf(compared.isEmpty() ? value : compared));
    };
    addValue(u"Company"_s, b[size_t(FieldBox::Company)]);
    // The address in the boxes counts as one value, as import keeps a second address.
    QStringList address;
    for (const FieldBox box : {FieldBox::Address, FieldBox::City, FieldBox::State, FieldBox::Zip})
        if (!b[size_t(box)].trimmed().isEmpty())
            address.append(b[size_t(box)].trimmed());
    addValue(u"Address"_s, address.join(u", "_s));
    for (const FieldBox box :
         {FieldBox::HomePhone, FieldBox::WorkPhone, FieldBox::PagerMobile, FieldBox::FaxOrEmail})
        addValue(mergeLabel(box, b[size_t(box)]), b[size_t(box)]);
    for (const ImportedValue &v : whole.values) {
        if (v.label == u"UID"_s)
            uids.append(v.value.trimmed().toLower());
        // An address kept whole is compared by its parts, as the boxes' address is.
        QString compared;
        if (const auto property = vcardPropertyFor(v.label); property && property->name == u"ADR") {
            QStringList parts;
            for (const QString &part : addressParts(v.value))
                if (!part.trimmed().isEmpty())
                    parts.append(part.trimmed());
            compared = parts.join(u", "_s);
        }
        addValue(v.label, v.value, compared);
    }
    if (!uid.trimmed().isEmpty() && !isCardFileUid(uid)) {
        uids.append(uid.trimmed().toLower());
        addValue(u"UID"_s, uid.trimmed());
    }

    if (name != u"\x1f"_s)
        for (qsizetype i = 0; i < keys.size(); ++i)
            if (keys.at(i).startsWith(u"e:"_s) || keys.at(i).startsWith(u"p:"_s))
                points.append(keys.at(i) + u'\x1f' + name);
}

QList<ImportedValue> newValues(const ContactValues &incoming, const ContactValues &holder)
{
    QSet<QString> held(holder.keys.cbegin(), holder.keys.cend());
    // The address boxes' parts each count as held too, so an address split otherwise
    // is not taken for a new one.
    QList<ImportedValue> added;
    for (qsizetype i = 0; i < incoming.values.size(); ++i) {
        const QString &key = incoming.keys.at(i);
        const bool isHeld =
            held.contains(key) || (key.startsWith(u"t:"_s) &&
                                   holder.own.simplified().toCaseFolded().contains(key.mid(2)));
        if (!isHeld) {
            added.append(incoming.values.at(i));
            held.insert(key);
        }
    }
    if (!incoming.own.isEmpty() &&
        !holder.own.simplified().toCaseFolded().contains(
            incoming.own.simplified().toCaseFolded()) &&
        !held.contains(keyOf(incoming.own)))
        added.append({u"Note"_s, incoming.own});
    return added;
}

bool fitsNotesLimit(const QString &notes)
{
    if (notes.isEmpty())
        return true;
    // The file holds the text in Windows-1252, one byte a character, and one CR LF.
    return qint64(notes.size()) + 2 <= notes::ReadLimit;
}

void Duplicates::add(const ContactValues &values, int holder)
{
    for (const QString &key : values.points)
        m_points.insert(key, holder);
    // A UID names the same person only under the same whole name.
    for (const QString &uid : values.uids)
        m_points.insert(u"u:"_s + uid + u'\x1f' + values.name, holder);
    if (!values.blank)
        m_boxes.insert(values.boxes, holder);
}

std::optional<Duplicates::Found> Duplicates::find(const ContactValues &values) const
{
    for (const QString &uid : values.uids)
        if (const auto it = m_points.constFind(u"u:"_s + uid + u'\x1f' + values.name);
            it != m_points.cend())
            return Found{u"the same UID as"_s, *it};
    for (const QString &key : values.points)
        if (const auto it = m_points.constFind(key); it != m_points.cend())
            return Found{
                u"same name and %1 as"_s.arg(key.startsWith(u"e:") ? u"e-mail"_s : u"phone"_s),
                *it};
    if (values.blank)
        return std::nullopt;
    if (const auto it = m_boxes.constFind(values.boxes); it != m_boxes.cend())
        return Found{u"the same as"_s, *it};
    return std::nullopt;
}

} // namespace cardomine::interchange
