// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/vcardproperty.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace cardomine::interchange {

using namespace Qt::StringLiterals;

namespace {

// The names import gives the properties that have no box.
const QHash<QString, QString> &propertyNames()
{
    static const QHash<QString, QString> names{
        {u"Phone"_s, u"TEL"_s},
        {u"E-mail"_s, u"EMAIL"_s},
        {u"Address"_s, u"ADR"_s},
        {u"Company"_s, u"ORG"_s},
        {u"Title"_s, u"TITLE"_s},
        {u"Role"_s, u"ROLE"_s},
        {u"Birthday"_s, u"BDAY"_s},
        {u"Anniversary"_s, u"ANNIVERSARY"_s},
        {u"Web page"_s, u"URL"_s},
        {u"Nickname"_s, u"NICKNAME"_s},
        {u"Instant messaging"_s, u"IMPP"_s},
        {u"Categories"_s, u"CATEGORIES"_s},
        {u"Address label"_s, u"LABEL"_s},
        {u"Photo"_s, u"PHOTO"_s},
        {u"Logo"_s, u"LOGO"_s},
        {u"Sound"_s, u"SOUND"_s},
        {u"Key"_s, u"KEY"_s},
        {u"Gender"_s, u"GENDER"_s},
        {u"Time zone"_s, u"TZ"_s},
        {u"Location"_s, u"GEO"_s},
        {u"Language"_s, u"LANG"_s},
        {u"Related"_s, u"RELATED"_s},
        {u"Member"_s, u"MEMBER"_s},
        {u"Mailer"_s, u"MAILER"_s},
        {u"Sort as"_s, u"SORT-STRING"_s},
    };
    return names;
}

// A CSV column's name, letters and digits only, lower case, to the property it holds.
std::optional<QString> columnProperty(const QString &label)
{
    QString key;
    for (const QChar c : label)
        if (c.isLetterOrNumber())
            key += c.toLower();
    // "Website 1 - Label", "Phone 2 - Type": what kind of value another column holds.
    if (key.endsWith(u"label"_s) || key.endsWith(u"type"_s))
        return std::nullopt;
    if (key.contains(u"fax"_s) || key.contains(u"phone"_s) || key.contains(u"mobile"_s) ||
        key.contains(u"pager"_s) || key == u"callback"_s || key == u"isdn"_s || key == u"telex"_s)
        return u"TEL"_s;
    if (key.contains(u"email"_s))
        return u"EMAIL"_s;
    if (key.endsWith(u"address"_s))
        return u"ADR"_s;
    if (key.contains(u"webpage"_s) || key.contains(u"website"_s))
        return u"URL"_s;
    if (key == u"jobtitle"_s || key == u"organizationtitle"_s)
        return u"TITLE"_s;
    if (key == u"labels"_s)
        return u"CATEGORIES"_s;
    // Not "Birth Day", the day of the month beside "Birth Month" and "Birth Year".
    if (label.compare(u"Birthday"_s, Qt::CaseInsensitive) == 0)
        return u"BDAY"_s;
    if (key == u"anniversary"_s)
        return u"ANNIVERSARY"_s;
    return std::nullopt;
}

} // namespace

std::optional<VCardProperty> vcardPropertyFor(const QString &label)
{
    // "Base (type, type, Label)": import lists the types in lower case, then the
    // address book's own label.
    QString base = label;
    QStringList items;
    if (const qsizetype open = label.indexOf(u" ("_s); open > 0 && label.endsWith(u')')) {
        base = label.left(open);
        items = label.mid(open + 2).chopped(1).split(u", "_s);
    }
    VCardProperty property;
    static const QRegularExpression token(u"^[a-z0-9-]+$"_s);
    static const QRegularExpression extension(u"^X-[A-Za-z0-9-]+$"_s);
    static const QRegularExpression ownName(u"^[A-Z][A-Z0-9-]*$"_s);
    // The card's own: the UID of another program stays note text beside ours.
    static const QStringList notOwn{u"BEGIN"_s, u"END"_s, u"VERSION"_s, u"UID"_s,
                                    u"N"_s,     u"FN"_s,  u"NOTE"_s};
    if (const auto it = propertyNames().constFind(base); it != propertyNames().cend())
        property.name = *it;
    else if (extension.match(base).hasMatch())
        property.name = base.toUpper();
    else if (ownName.match(base).hasMatch() && !notOwn.contains(base))
        property.name = base; // a property import kept under its own name ("KIND")
    else if (const std::optional<QString> name = columnProperty(label)) {
        property.name = *name;
        property.groupLabel = label; // the column's name says what kind of value it is
        property.ownLabel = label;
        return property;
    } else
        return std::nullopt;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (token.match(items.at(i)).hasMatch())
            property.types.append(items.at(i));
        else if (i == items.size() - 1 && !items.at(i).isEmpty())
            property.groupLabel = items.at(i);
        else
            return std::nullopt;
    }
    // A number of no type but a label would take the home box when read back, which it
    // did not take when it came in: it goes back under its label, in its place.
    if (property.name == u"TEL" && property.types.isEmpty() && !property.groupLabel.isEmpty())
        property.ownLabel = label;
    return property;
}

std::optional<QStringList> vcardTypesOf(const QString &kind)
{
    static const QHash<QString, QString> types{
        {u"home"_s, u"home"_s},         {u"work"_s, u"work"_s},
        {u"business"_s, u"work"_s},     {u"office"_s, u"work"_s},
        {u"fax"_s, u"fax"_s},           {u"cell"_s, u"cell"_s},
        {u"mobile"_s, u"cell"_s},       {u"cellular"_s, u"cell"_s},
        {u"pager"_s, u"pager"_s},       {u"voice"_s, u"voice"_s},
        {u"car"_s, u"car"_s},           {u"video"_s, u"video"_s},
        {u"text"_s, u"text"_s},         {u"textphone"_s, u"textphone"_s},
        {u"isdn"_s, u"isdn"_s},         {u"modem"_s, u"modem"_s},
        {u"bbs"_s, u"bbs"_s},           {u"msg"_s, u"msg"_s},
        {u"pcs"_s, u"pcs"_s},           {u"iphone"_s, u"iphone"_s},
        {u"internet"_s, u"internet"_s}, {u"x400"_s, u"x400"_s},
        {u"postal"_s, u"postal"_s},     {u"parcel"_s, u"parcel"_s},
        {u"dom"_s, u"dom"_s},           {u"intl"_s, u"intl"_s},
    };
    // Words that say what the value is, not its kind.
    static const QSet<QString> plain{u"phone"_s, u"telephone"_s, u"tel"_s,  u"number"_s,
                                     u"email"_s, u"e-mail"_s,    u"mail"_s, u"address"_s};
    QStringList out;
    const auto word = [&](QString w) {
        if (w.isEmpty())
            return true;
        w = w.toLower();
        if (plain.contains(w) ||
            std::all_of(w.cbegin(), w.cend(), [](QChar c) { return c.isDigit(); }))
            return true;
        QString type;
        if (const auto it = types.constFind(w); it != types.cend())
            type = *it;
        else if (w.startsWith(u"x-"_s) && w.size() > 2)
            type = w;
        else
            return false;
        if (!out.contains(type))
            out.append(type);
        return true;
    };
    // Words end at spaces, commas, a Google star and a lower-case letter followed by an
    // upper-case one ("HomePhone"); "x-" types keep their hyphens.
    QString current;
    for (qsizetype i = 0; i < kind.size(); ++i) {
        const QChar c = kind.at(i);
        const bool separator = c == u' ' || c == u',' || c == u'*' || c == u'/' || c == u'_';
        const bool camel = c.isUpper() && !current.isEmpty() && current.back().isLower();
        if (separator || camel) {
            if (!word(current))
                return std::nullopt;
            current.clear();
        }
        if (!separator)
            current += c;
    }
    if (!word(current))
        return std::nullopt;
    return out;
}

QString quotedParameter(const QString &value)
{
    QString out = value;
    out.replace(u"^"_s, u"^^"_s).replace(u"\""_s, u"^'"_s).replace(u"\r\n"_s, u"^n"_s);
    out.replace(u"\n"_s, u"^n"_s).replace(u"\r"_s, u"^n"_s);
    return u'"' + out + u'"';
}

QString unquotedParameter(const QString &value)
{
    QString text = value;
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.mid(1, text.size() - 2);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (text.at(i) == u'^' && (next == u'^' || next == u'\'' || next == u'n')) {
            out += next == u'n' ? u"\r\n"_s : next == u'\'' ? u"\""_s : u"^"_s;
            ++i;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

} // namespace cardomine::interchange
