// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/duplicates.h"

namespace cardomine::interchange {

using namespace Qt::StringLiterals;

namespace {

// A phone or e-mail box as a key: an address in lower case, a number by its digits.
std::optional<QString> pointKey(const QString &box)
{
    const QString value = box.trimmed();
    if (value.contains(u'@'))
        return u"e:"_s + value.toCaseFolded();
    QString digits;
    for (const QChar c : value)
        if (c.isDigit())
            digits += c;
    if (digits.size() < 3)
        return std::nullopt;
    return u"p:"_s + digits;
}

// The eleven boxes, without the number and the type.
QByteArray boxesKey(const ContactRecord &r)
{
    QByteArray bytes = r.toRandomBytes();
    return bytes.left(157) + bytes.mid(163, 229 - 163);
}

} // namespace

QString nameKey(const ContactRecord &r)
{
    return r.FirstName.text().simplified().toCaseFolded() + u'\x1f' +
           r.LastName.text().simplified().toCaseFolded();
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

DuplicateKeys::DuplicateKeys(const ContactRecord &r)
    : blank(isBlank(r))
{
    if (blank)
        return;
    const QString name = nameKey(r);
    if (name != u"\x1f"_s)
        for (const QString &box :
             {r.HomePhone.text(), r.WorkPhone.text(), r.PagerMobile.text(), r.FaxOrEmail.text()})
            if (const std::optional<QString> key = pointKey(box))
                points.append(*key + u'\x1f' + name);
    boxes = boxesKey(r);
}

void Duplicates::add(const DuplicateKeys &keys, int holder)
{
    if (keys.blank)
        return;
    for (const QString &key : keys.points)
        m_points.insert(key, holder);
    m_boxes.insert(keys.boxes, holder);
}

std::optional<Duplicates::Found> Duplicates::find(const DuplicateKeys &keys) const
{
    for (const QString &key : keys.points)
        if (const auto it = m_points.constFind(key); it != m_points.cend())
            return Found{
                u"same name and %1 as"_s.arg(key.startsWith(u"e:") ? u"e-mail"_s : u"phone"_s),
                *it};
    if (keys.blank)
        return std::nullopt;
    if (const auto it = m_boxes.constFind(keys.boxes); it != m_boxes.cend())
        return Found{u"the same as"_s, *it};
    return std::nullopt;
}

} // namespace cardomine::interchange
