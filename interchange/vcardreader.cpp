// vCard 2.1, 3.0 and 4.0 (RFC 2425/2426, RFC 6350 and vCard 2.1 as versit wrote it): folded
// lines, quoted-printable values with their soft line breaks and character sets,
// escapes, groups, parameters in both forms, several cards per file.
#include "interchange/importcard.h"
#include "interchange/importreader.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <optional>

namespace cardomine::interchange {

namespace {

using namespace Qt::StringLiterals;
using namespace importing;

struct LogicalLine
{
    QByteArray text;
    int line = 0;
};

struct Property
{
    QByteArray group;
    QByteArray name;     // upper case
    QStringList types;   // lower case, from TYPE= and from bare parameters
    QByteArray encoding; // upper case
    QByteArray charset;
    bool preferred = false;
    QByteArray value; // raw, still encoded
    int line = 0;
};

struct ParseError
{
    int line;
    QString text;
};

bool isQuotedPrintable(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    const QByteArray head = (colon < 0 ? line : line.left(colon)).toUpper();
    return head.contains("QUOTED-PRINTABLE");
}

// Physical lines (CR LF or LF) joined into content lines: a line starting with a
// space or tab continues the one before (the line end and that one character go), and
// a quoted-printable value ending in "=" continues on the next line (a soft break).
QList<LogicalLine> logicalLines(const QByteArray &bytes)
{
    QList<LogicalLine> lines;
    lines.reserve(bytes.size() / 24 + 1);
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    int number = 0;
    bool softBreak = false;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArrayView physical(bytes.constData() + pos, end - pos);
        if (physical.endsWith('\r'))
            physical.chop(1);
        pos = end + 1;
        ++number;
        if (softBreak && !lines.isEmpty()) {
            lines.last().text.append(physical);
        } else if (!lines.isEmpty() && !physical.isEmpty() &&
                   (physical.at(0) == ' ' || physical.at(0) == '\t')) {
            lines.last().text.append(physical.sliced(1));
        } else {
            lines.append({physical.toByteArray(), number});
        }
        LogicalLine &last = lines.last();
        softBreak = last.text.endsWith('=') && isQuotedPrintable(last.text);
        if (softBreak)
            last.text.chop(1);
    }
    return lines;
}

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// Splits at a separator outside double quotes.
QList<QByteArray> splitOutsideQuotes(const QByteArray &text, char separator)
{
    QList<QByteArray> parts;
    qsizetype start = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (c == separator && !quoted) {
            parts.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.mid(start));
    return parts;
}

QByteArray unquoted(const QByteArray &text)
{
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"'))
        return text.mid(1, text.size() - 2);
    return text;
}

std::optional<Property> parseProperty(const LogicalLine &line, QString &problem)
{
    const QByteArray &text = line.text;
    // The name and parameters end at the first colon outside quotes.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '"')
            quoted = !quoted;
        else if (text.at(i) == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0) {
        problem = u"a line without a colon; a vCard line is NAME:value"_s;
        return std::nullopt;
    }
    Property property;
    property.line = line.line;
    property.value = text.mid(colon + 1);
    const QList<QByteArray> head = splitOutsideQuotes(text.left(colon), ';');
    QByteArray name = head.first().trimmed();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) {
        property.group = name.left(dot).toLower();
        name = name.mid(dot + 1);
    }
    if (name.isEmpty() || !std::all_of(name.cbegin(), name.cend(), isNameCharacter)) {
        problem = u"\"%1\" is not a property name"_s.arg(QString::fromUtf8(head.first()));
        return std::nullopt;
    }
    property.name = name.toUpper();
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray parameter = head.at(i).trimmed();
        const qsizetype equals = parameter.indexOf('=');
        const QByteArray key = (equals < 0 ? QByteArray() : parameter.left(equals)).toUpper();
        const QByteArray value = equals < 0 ? parameter : parameter.mid(equals + 1);
        if (key == "ENCODING") {
            property.encoding = unquoted(value).toUpper();
        } else if (key == "CHARSET") {
            property.charset = unquoted(value);
        } else if (key == "PREF") {
            property.preferred = unquoted(value).trimmed() == "1";
        } else if (key == "TYPE" || key.isEmpty()) {
            for (const QByteArray &item : unquoted(value.trimmed()).split(',')) {
                const QByteArray type = unquoted(item.trimmed());
                const QByteArray upper = type.toUpper();
                // vCard 2.1 names its encodings bare, as it does its types.
                if (key.isEmpty() && (upper == "QUOTED-PRINTABLE" || upper == "BASE64" ||
                                      upper == "8BIT" || upper == "7BIT"))
                    property.encoding = upper;
                else if (upper == "PREF")
                    property.preferred = true;
                else if (!type.isEmpty())
                    property.types.append(QString::fromUtf8(type).toLower());
            }
        }
    }
    return property;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "=XX" is the byte XX; an "=" not followed by two hex digits stays as it is.
QByteArray decodeQuotedPrintable(const QByteArray &raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '=' && i + 2 < raw.size()) {
            const int high = hexDigit(raw.at(i + 1));
            const int low = hexDigit(raw.at(i + 2));
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// The value's text: quoted-printable undone, then its character set (UTF-8 when none
// is named, or Windows-1252 for bytes that are not UTF-8).
QString decodedValue(const Property &property)
{
    const QByteArray bytes = property.encoding == "QUOTED-PRINTABLE"
                                 ? decodeQuotedPrintable(property.value)
                                 : property.value;
    if (!property.charset.isEmpty()) {
        QStringDecoder decoder(property.charset.constData(), QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            QString text = decoder.decode(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    return decodeGuessing(bytes);
}

// Backslash escapes: "\n" and "\N" a line end, "\\", "\,", "\;" and "\:" the
// character. vCard 2.1 escapes only semicolons and commas; a backslash before anything
// else stays, as does every other backslash of 2.1.
QString unescape(const QString &text, bool version21)
{
    if (!text.contains(u'\\'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(i + 1);
        if (next == u';' || next == u',') {
            out += next;
            ++i;
        } else if (!version21 && (next == u'n' || next == u'N')) {
            out += u'\n';
            ++i;
        } else if (!version21 && (next == u'\\' || next == u':')) {
            out += next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// A structured value's components, split at semicolons that are not escaped.
QStringList components(const QString &text, bool version21, int atLeast)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size()) {
            current += c;
            current += text.at(++i);
        } else if (c == u';') {
            parts.append(unescape(current, version21));
            current.clear();
        } else {
            current += c;
        }
    }
    parts.append(unescape(current, version21));
    while (parts.size() < atLeast)
        parts.append(QString());
    return parts;
}

// Apple's labels come as "_$!<Mobile>!$_" for its own kinds and plain text otherwise.
QString appleLabel(const QString &text)
{
    if (text.startsWith(u"_$!<"_s) && text.endsWith(u">!$_"_s))
        return text.mid(4, text.size() - 8);
    return text;
}

QString labelled(const QString &base, const Property &property, const QString &groupLabel)
{
    QStringList kinds;
    for (const QString &type : property.types)
        if (type != u"voice" && type != u"internet" && type != u"x400")
            kinds.append(type);
    if (!groupLabel.isEmpty())
        kinds.append(groupLabel);
    if (kinds.isEmpty())
        return base;
    return base + u" ("_s + kinds.join(u", "_s) + u')';
}

PhoneKind phoneKind(const QStringList &types)
{
    static const QSet<QString> other{
        u"car"_s, u"isdn"_s,        u"video"_s,      u"bbs"_s,     u"modem"_s,   u"textphone"_s,
        u"pcs"_s, u"x-assistant"_s, u"x-callback"_s, u"x-radio"_s, u"x-telex"_s, u"x-tty"_s};
    const auto has = [&types](QStringView type) { return types.contains(type); };
    if (has(u"fax"))
        return PhoneKind::Fax;
    if (has(u"cell") || has(u"mobile") || has(u"pager") || has(u"iphone"))
        return PhoneKind::Mobile;
    if (has(u"work"))
        return PhoneKind::Work;
    if (has(u"home"))
        return PhoneKind::Home;
    for (const QString &type : types)
        if (other.contains(type))
            return PhoneKind::Other;
    return PhoneKind::Untyped;
}

QString withoutScheme(const QString &value, const QString &scheme)
{
    const QString trimmedValue = value.trimmed();
    if (trimmedValue.startsWith(scheme, Qt::CaseInsensitive))
        return trimmedValue.mid(scheme.size());
    return value;
}

QString knownLabel(const QByteArray &name)
{
    static const QHash<QByteArray, QString> labels{
        {"TITLE", u"Title"_s},
        {"ROLE", u"Role"_s},
        {"BDAY", u"Birthday"_s},
        {"ANNIVERSARY", u"Anniversary"_s},
        {"URL", u"Web page"_s},
        {"NICKNAME", u"Nickname"_s},
        {"IMPP", u"Instant messaging"_s},
        {"CATEGORIES", u"Categories"_s},
        {"LABEL", u"Address label"_s},
        {"PHOTO", u"Photo"_s},
        {"LOGO", u"Logo"_s},
        {"SOUND", u"Sound"_s},
        {"KEY", u"Key"_s},
        {"GENDER", u"Gender"_s},
        {"TZ", u"Time zone"_s},
        {"GEO", u"Location"_s},
        {"LANG", u"Language"_s},
        {"RELATED", u"Related"_s},
        {"MEMBER", u"Member"_s},
        {"AGENT", u"Agent"_s},
        {"MAILER", u"Mailer"_s},
        {"SORT-STRING", u"Sort as"_s},
    };
    return labels.value(name, QString::fromLatin1(name));
}

Card interpret(const QList<Property> &properties, int line)
{
    Card card;
    card.line = line;
    bool version21 = false;
    QHash<QByteArray, QString> groupLabels;
    QSet<QByteArray> labelledGroups;
    for (const Property &p : properties) {
        if (p.name == "VERSION")
            version21 = p.value.trimmed() == "2.1";
        else if (p.name == "X-ABLABEL" && !p.group.isEmpty())
            groupLabels.insert(p.group, appleLabel(decodedValue(p)));
    }
    bool haveName = false, haveFormatted = false, haveCompany = false, haveUid = false;
    for (const Property &p : properties) {
        const QString raw = decodedValue(p);
        const QString value = unescape(raw, version21);
        const QString groupLabel = groupLabels.value(p.group);
        if (!groupLabel.isEmpty())
            labelledGroups.insert(p.group);
        const QByteArray &name = p.name;
        if (name == "VERSION" || name == "PRODID" || name == "REV" || name == "CLIENTPIDMAP" ||
            (name == "KIND" && value.trimmed().compare(u"individual"_s, Qt::CaseInsensitive) == 0))
            continue;
        if (name == "X-ABLABEL" && !p.group.isEmpty())
            continue; // kept with the value it names
        if (name == "UID" && !haveUid) {
            haveUid = true;
            card.uid = value.trimmed();
        } else if (name == "N" && !haveName) {
            haveName = true;
            card.structuredName = true;
            const QStringList n = components(raw, version21, 5);
            card.family = n.at(0);
            card.given = n.at(1);
            card.addExtra(u"Middle name"_s, n.at(2));
            card.addExtra(u"Name prefix"_s, n.at(3));
            card.addExtra(u"Name suffix"_s, n.at(4));
            card.fullNames.append(
                QStringList{n.at(3), n.at(1), n.at(2), n.at(0), n.at(4)}.join(u' '));
            card.fullNames.append(QStringList{n.at(1), n.at(2), n.at(0)}.join(u' '));
            card.fullNames.append(QStringList{n.at(3), n.at(1), n.at(0), n.at(4)}.join(u' '));
        } else if (name == "FN" && !haveFormatted) {
            haveFormatted = true;
            card.formattedName = value;
        } else if (name == "ORG" && !haveCompany) {
            haveCompany = true;
            const QStringList org = components(raw, version21, 1);
            card.company = org.first();
            card.addExtra(u"Department"_s, org.mid(1).join(u"; "_s));
        } else if (name == "TEL") {
            Phone phone;
            phone.value = withoutScheme(value, u"tel:"_s);
            phone.kind = phoneKind(p.types);
            phone.label = labelled(u"Phone"_s, p, groupLabel);
            phone.preferred = p.preferred;
            phone.order = card.nextOrder();
            card.phones.append(phone);
        } else if (name == "EMAIL") {
            Email email;
            email.value = withoutScheme(value, u"mailto:"_s);
            email.label = labelled(u"E-mail"_s, p, groupLabel);
            email.preferred = p.preferred;
            email.order = card.nextOrder();
            card.emails.append(email);
        } else if (name == "ADR") {
            const QStringList a = components(raw, version21, 7);
            Address address;
            address.poBox = a.at(0);
            address.extended = a.at(1);
            address.street = a.at(2);
            address.city = a.at(3);
            address.region = a.at(4);
            address.postalCode = a.at(5);
            address.country = a.mid(6).join(u"; "_s);
            address.label = labelled(u"Address"_s, p, groupLabel);
            address.home = p.types.contains(u"home"_s);
            address.preferred = p.preferred;
            address.order = card.nextOrder();
            card.addresses.append(address);
        } else if (name == "NOTE") {
            if (!value.isEmpty())
                card.addNote(value);
        } else {
            QString label = knownLabel(name);
            if (name == "N")
                label = u"Name"_s;
            else if (name == "FN")
                label = u"Formatted name"_s;
            else if (name == "ORG")
                label = u"Company"_s;
            card.addExtra(labelled(label, p, groupLabel), value);
        }
    }
    // A label whose group names no other property is kept as it is.
    for (const Property &p : properties)
        if (p.name == "X-ABLABEL" && !p.group.isEmpty() && !labelledGroups.contains(p.group))
            card.addExtra(u"Label"_s, groupLabels.value(p.group));
    return card;
}

} // namespace

ReadResult readVCards(const QByteArray &bytes)
{
    ReadResult result;
    const auto fail = [&result](int line, const QString &text) {
        result.contacts.clear();
        result.errorLine = line;
        result.error = text;
        return result;
    };
    QList<Property> properties;
    int cardLine = 0; // 0 outside a card
    for (const LogicalLine &line : logicalLines(bytes)) {
        if (line.text.trimmed().isEmpty())
            continue;
        QString problem;
        std::optional<Property> property = parseProperty(line, problem);
        if (!property)
            return fail(line.line, problem);
        const QByteArray value = property->value.trimmed().toUpper();
        if (property->name == "BEGIN") {
            if (value != "VCARD")
                return fail(line.line, u"BEGIN:%1 where a vCard should begin"_s.arg(
                                           QString::fromUtf8(property->value.trimmed())));
            if (cardLine != 0)
                return fail(
                    line.line,
                    u"a card begins inside the card that begins on line %1"_s.arg(cardLine));
            cardLine = line.line;
            properties.clear();
        } else if (cardLine == 0) {
            return fail(line.line, u"a line outside any BEGIN:VCARD ... END:VCARD"_s);
        } else if (property->name == "END") {
            if (value != "VCARD")
                return fail(line.line, u"END:%1 where END:VCARD should be"_s.arg(
                                           QString::fromUtf8(property->value.trimmed())));
            result.contacts.append(buildContact(interpret(properties, cardLine)));
            cardLine = 0;
        } else {
            properties.append(std::move(*property));
        }
    }
    if (cardLine != 0)
        return fail(cardLine, u"the card that begins here has no END:VCARD"_s);
    return result;
}

} // namespace cardomine::interchange
