// SPDX-License-Identifier: GPL-3.0-or-later
// vCard 2.1, 3.0 and 4.0 (RFC 2425/2426, RFC 6350 and vCard 2.1 as versit wrote it): folded
// lines, quoted-printable values with their soft line breaks and character sets,
// escapes, groups, parameters in both forms, several cards per file.
#include "datastore/contactphotos.h"
#include "interchange/binaryvalues.h"
#include "interchange/importcard.h"
#include "interchange/importedvalues.h"
#include "interchange/importreader.h"
#include "interchange/textinput.h"
#include "interchange/vcardproperty.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QVarLengthArray>

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
    QString label;    // the name as written, when it is not a well-formed one
    QString ownLabel; // the label our own export gives a value of the notes' section
    QString ownKind;  // the kind in words our own export gives a box's value
    int line = 0;
};

// How deep agents' cards may nest in one another.
constexpr int MaxNesting = 8;

struct ParseError
{
    int line;
    QString text;
};

// Content lines one at a time, each the physical lines it is made of joined:
// - a line starts after LF, CR LF, a lone CR or a run of CRs before LF (older iPhones
//   wrote CR CR LF);
// - a line starting with a space or tab continues the one before (the line end and
//   that one character go);
// - a quoted-printable value ending in "=" continues on the next line (a soft break);
// - as Android reads them: a line ending in a single backslash continues on the next
//   line with a line end in the value (unless that line is a fold), and a line
//   starting with "#" is a comment;
// - the lines of a base64 value (vCard 2.1 writes them unindented) continue it.
// Each step looks at every byte a bounded number of times: reading is linear in the
// file however its lines are joined.
class ContentLines
{
public:
    explicit ContentLines(const QByteArray &bytes)
        : m_bytes(bytes)
        , m_pos(bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0)
    {
        m_pending = nextPhysical(m_pendingLine);
    }

    // The next content line; false at the end of the file.
    bool next(LogicalLine &out)
    {
        // Comments are skipped where a content line could begin.
        while (m_pending && m_pending->startsWith('#'))
            m_pending = nextPhysical(m_pendingLine);
        if (!m_pending)
            return false;
        out.text = m_pending->toByteArray();
        out.line = m_pendingLine;
        m_pending.reset();
        Head head;
        head.scan(out.text);
        qsizetype backslashes = trailingBackslashes(out.text, 0);
        for (;;) {
            const bool softBreak =
                head.quotedPrintable && head.colon >= 0 && out.text.endsWith('=');
            const bool backslash = head.colon >= 0 && !head.base64 && backslashes % 2 == 1;
            int line = 0;
            const std::optional<QByteArrayView> physical = nextPhysical(line);
            if (!physical)
                break;
            if (softBreak) {
                out.text.chop(1);
                out.text.append(*physical);
                backslashes = trailingBackslashes(*physical, 0);
            } else if (!physical->isEmpty() &&
                       (physical->at(0) == ' ' || physical->at(0) == '\t')) {
                // A fold, even after a backslash: a writer may fold inside "\n".
                out.text.append(physical->sliced(1));
                backslashes = trailingBackslashes(physical->sliced(1), backslashes);
            } else if (backslash) {
                out.text.chop(1);
                out.text.append('\n');
                out.text.append(*physical);
                backslashes = trailingBackslashes(*physical, 0);
            } else if (head.base64 && isBase64Line(*physical)) {
                out.text.append(physical->trimmed());
                backslashes = 0;
            } else {
                m_pending = physical;
                m_pendingLine = line;
                break;
            }
            head.scan(out.text);
        }
        if (head.quotedPrintable && head.colon >= 0 && out.text.endsWith('='))
            out.text.chop(1); // a soft break at the end of the file
        return true;
    }

private:
    // What the name and parameters say about how the value continues; the text is
    // scanned once, as it grows, up to its first colon.
    struct Head
    {
        qsizetype scanned = 0;
        qsizetype colon = -1;
        bool quotedPrintable = false;
        bool base64 = false;
        bool quoted = false;
        void scan(const QByteArray &text)
        {
            if (colon >= 0)
                return;
            for (; scanned < text.size(); ++scanned) {
                const char c = text.at(scanned);
                if (c == '"')
                    quoted = !quoted;
                else if (c == ':' && !quoted) {
                    colon = scanned;
                    const QByteArrayView head(text.constData(), colon);
                    quotedPrintable = containsNoCase(head, "QUOTED-PRINTABLE");
                    base64 = containsNoCase(head, "BASE64") ||
                             containsNoCase(head, "ENCODING=B;") ||
                             (head.size() >= 10 && containsNoCase(head.last(10), "ENCODING=B"));
                    return;
                }
            }
        }
    };

    // Whether the text holds the upper-case ASCII needle in any letter case.
    static bool containsNoCase(QByteArrayView text, QByteArrayView needle)
    {
        const auto same = [](char a, char b) {
            return (a >= 'a' && a <= 'z' ? char(a - ('a' - 'A')) : a) == b;
        };
        return std::search(text.cbegin(), text.cend(), needle.cbegin(), needle.cend(), same) !=
               text.cend();
    }

    // The backslashes a text ends with, counting those before it (carried) when the
    // text is nothing but backslashes.
    static qsizetype trailingBackslashes(QByteArrayView text, qsizetype carried)
    {
        qsizetype count = 0;
        for (qsizetype i = text.size() - 1; i >= 0 && text.at(i) == '\\'; --i)
            ++count;
        return count == text.size() ? carried + count : count;
    }

    static bool isBase64Line(QByteArrayView line)
    {
        const QByteArrayView t = line.trimmed();
        return !t.isEmpty() && std::all_of(t.cbegin(), t.cend(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '+' || c == '/' || c == '=';
        });
    }

    std::optional<QByteArrayView> nextPhysical(int &line)
    {
        const qsizetype size = m_bytes.size();
        if (m_pos >= size)
            return std::nullopt;
        const char *data = m_bytes.constData();
        qsizetype end = m_pos;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        const QByteArrayView physical(data + m_pos, end - m_pos);
        while (end < size && data[end] == '\r')
            ++end;
        if (end < size && data[end] == '\n')
            ++end;
        m_pos = end;
        line = ++m_number;
        return physical;
    }

    const QByteArray &m_bytes;
    qsizetype m_pos;
    int m_number = 0;
    std::optional<QByteArrayView> m_pending;
    int m_pendingLine = 0;
};

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
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
    // The name and the parameters, split at semicolons outside quotes, looked at in place.
    const QByteArrayView headText(text.constData(), colon);
    QVarLengthArray<QByteArrayView, 8> head;
    qsizetype start = 0;
    quoted = false;
    for (qsizetype i = 0; i < headText.size(); ++i) {
        if (headText.at(i) == '"')
            quoted = !quoted;
        else if (headText.at(i) == ';' && !quoted) {
            head.append(headText.sliced(start, i - start));
            start = i + 1;
        }
    }
    head.append(headText.sliced(start));
    QByteArrayView name = head.first().trimmed();
    const bool wellFormed = std::all_of(name.cbegin(), name.cend(), isNameCharacter);
    // A group only where the name is well formed: an odd name is kept whole.
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0 && wellFormed) {
        property.group = name.first(dot).toByteArray().toLower();
        name = name.sliced(dot + 1);
    }
    if (name.isEmpty()) {
        problem = u"\"%1\" is not a property name"_s.arg(quotedInput(head.first()));
        return std::nullopt;
    }
    // A name outside the grammar (older programs wrote "X-messaging/twitter-All") is
    // kept as written, so its value can go into the notes under it.
    if (!wellFormed)
        property.label = QString::fromUtf8(name);
    property.name = name.toByteArray().toUpper();
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray parameter = head.at(i).trimmed().toByteArray();
        const qsizetype equals = parameter.indexOf('=');
        const QByteArray key = (equals < 0 ? QByteArray() : parameter.left(equals)).toUpper();
        const QByteArray value = equals < 0 ? parameter : parameter.mid(equals + 1);
        if (key == "ENCODING") {
            property.encoding = unquoted(value).toUpper();
        } else if (key == "CHARSET") {
            property.charset = unquoted(value);
        } else if (key == QByteArrayView(OwnLabelParameter)) {
            property.ownLabel = unquotedParameter(QString::fromUtf8(value.trimmed()));
        } else if (key == QByteArrayView(OwnKindParameter)) {
            property.ownKind = unquotedParameter(QString::fromUtf8(value.trimmed()));
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

// The properties of a file's content lines in order, blank lines skipped: the loop both
// readers share.
class PropertyReader
{
public:
    explicit PropertyReader(const QByteArray &bytes)
        : m_lines(bytes)
    {}
    // The next property; nullopt at the end of the file, or at a line that does not
    // parse, which problem() then describes.
    std::optional<Property> next()
    {
        while (m_lines.next(m_line)) {
            if (m_line.text.trimmed().isEmpty())
                continue;
            return parseProperty(m_line, m_problem);
        }
        return std::nullopt;
    }
    int line() const { return m_line.line; }
    const QString &problem() const { return m_problem; }

private:
    ContentLines m_lines;
    LogicalLine m_line;
    QString m_problem;
};

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
// character. vCard 2.1 escapes only semicolons, commas and backslashes; a backslash
// before anything else stays, as does every other backslash of 2.1.
QString unescape(const QString &text, bool version21)
{
    if (!text.contains(u'\\'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // The text up to the next backslash as it is, in one piece.
        const qsizetype backslash = text.indexOf(u'\\', i);
        const qsizetype end = backslash < 0 ? text.size() : backslash;
        out += QStringView(text).sliced(i, end - i);
        i = end;
        if (i >= text.size())
            break;
        const QChar c = text.at(i);
        if (i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(i + 1);
        if (next == u';' || next == u',' || next == u'\\') {
            out += next;
            ++i;
        } else if (!version21 && (next == u'n' || next == u'N')) {
            out += u'\n';
            ++i;
        } else if (!version21 && next == u':') {
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
    parts.reserve(std::max<qsizetype>(atLeast, 1));
    qsizetype start = 0;
    bool escaped = false; // the part holds a backslash escape
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size()) {
            escaped = true;
            ++i;
        } else if (c == u';') {
            const QString part = text.sliced(start, i - start);
            parts.append(escaped ? unescape(part, version21) : part);
            start = i + 1;
            escaped = false;
        }
    }
    const QString last = text.sliced(start);
    parts.append(escaped ? unescape(last, version21) : last);
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

// The types that say a value's kind: those every number or address has by default
// (voice, internet, x400) say nothing.
QStringList kindTypes(const Property &property)
{
    QStringList kinds;
    for (const QString &type : property.types)
        if (type != u"voice" && type != u"internet" && type != u"x400")
            kinds.append(type);
    return kinds;
}

// A value's kind in words: what our own export wrote, else its types.
QString kindText(const Property &property)
{
    return property.ownKind.isEmpty() ? kindTypes(property).join(u", "_s) : property.ownKind;
}

QString labelled(const QString &base, const Property &property, const QString &groupLabel)
{
    QStringList kinds = kindTypes(property);
    if (!groupLabel.isEmpty())
        kinds.append(groupLabel);
    if (kinds.isEmpty())
        return base;
    return base + u" ("_s + kinds.join(u", "_s) + u')';
}

PhoneKind phoneKind(const QStringList &types);

// The boxes a number's types allow, in the record's order: a fax number only the fax
// box; "TEL;CELL;HOME" the home box, else the mobile one.
QList<PhoneKind> phoneKinds(const QStringList &types)
{
    const auto has = [&types](QStringView type) { return types.contains(type); };
    if (has(u"fax"))
        return {PhoneKind::Fax};
    QList<PhoneKind> kinds;
    if (has(u"home"))
        kinds.append(PhoneKind::Home);
    if (has(u"work"))
        kinds.append(PhoneKind::Work);
    if (has(u"cell") || has(u"mobile") || has(u"pager") || has(u"iphone"))
        kinds.append(PhoneKind::Mobile);
    if (kinds.isEmpty())
        kinds.append(phoneKind(types));
    return kinds;
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

// A property's name against an upper-case name: by length first, as nearly every
// comparison fails there.
bool isName(const QByteArray &name, QByteArrayView expected)
{
    return name.size() == expected.size() && QByteArrayView(name) == expected;
}

Card interpret(const QList<Property> &properties, int line)
{
    Card card;
    card.line = line;
    bool version21 = false;
    QHash<QByteArray, QString> groupLabels;
    QSet<QByteArray> labelledGroups;
    for (const Property &p : properties) {
        if (isName(p.name, "VERSION"))
            version21 = p.value.trimmed() == "2.1";
        else if (isName(p.name, "X-ABLABEL") && !p.group.isEmpty())
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
        if (isName(name, "VERSION") || isName(name, "PRODID") || isName(name, "REV"))
            continue; // about the file, not the contact
        // A company's or a group's card names no person (vCard 4.0's KIND, Apple's
        // X-ABShowAs); the value itself is kept below like any other.
        if ((isName(name, "KIND") && QStringList{u"org"_s, u"organization"_s, u"group"_s}.contains(
                                         value.trimmed().toLower())) ||
            (isName(name, "X-ABSHOWAS") &&
             value.trimmed().compare(u"company"_s, Qt::CaseInsensitive) == 0))
            card.organisation = true;
        if (isName(name, "X-ABLABEL") && !p.group.isEmpty())
            continue; // kept with the value it names
        if (isValueLabel(p.ownLabel)) {
            // A value of the notes' section our own export wrote: back under its label,
            // in its place, never in a box.
            card.addExtra(p.ownLabel,
                          isName(name, "ADR") ? addressText(components(raw, version21, 7)) : value);
            continue;
        }
        if (isName(name, "UID") && !haveUid) {
            haveUid = true;
            card.uid = value.trimmed();
        } else if (isName(name, "N") && !haveName) {
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
        } else if (isName(name, "FN") && !haveFormatted) {
            haveFormatted = true;
            card.formattedName = value;
        } else if (isName(name, "ORG") && !haveCompany) {
            haveCompany = true;
            const QStringList org = components(raw, version21, 1);
            card.company = org.first();
            card.addExtra(u"Department"_s, org.mid(1).join(u"; "_s));
        } else if (isName(name, "TEL")) {
            Phone phone;
            phone.value = withoutScheme(value, u"tel:"_s);
            // Our own export's box value with its kind in words goes back to the one box
            // its words chose.
            phone.kinds =
                p.ownKind.isEmpty() ? phoneKinds(p.types) : QList<PhoneKind>{phoneKind(p.types)};
            phone.kind = phone.kinds.first();
            phone.label = labelled(u"Phone"_s, p, groupLabel);
            phone.boxLabel = groupLabel;
            phone.kindText = kindText(p);
            phone.preferred = p.preferred;
            phone.order = card.nextOrder();
            card.phones.append(phone);
        } else if (isName(name, "EMAIL")) {
            Email email;
            email.value = withoutScheme(value, u"mailto:"_s);
            email.label = labelled(u"E-mail"_s, p, groupLabel);
            email.boxLabel = groupLabel;
            email.kindText = kindText(p);
            email.preferred = p.preferred;
            email.order = card.nextOrder();
            card.emails.append(email);
        } else if (isName(name, "ADR")) {
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
            address.boxLabel = groupLabel;
            address.kindText = kindText(p);
            address.home = p.types.contains(u"home"_s);
            address.preferred = p.preferred;
            address.order = card.nextOrder();
            card.addresses.append(address);
        } else if (isName(name, "NOTE")) {
            if (!value.isEmpty())
                card.addNote(value);
        } else if (const std::optional<BinaryValue> binary =
                       isBinaryProperty(name) ? decodeBinary(p.encoding, p.value, p.types.value(0))
                                              : std::nullopt;
                   binary && binary->bytes.size() <= photos::FileLimit) {
            // Kept whole in the photos folder; the notes name it.
            const QString valueName =
                photos::valueName(QString::fromLatin1(name).toLower(), binary->bytes, binary->type);
            card.addExtra(labelled(knownLabel(name), p, groupLabel),
                          photos::entryText(valueName, binary->bytes.size()));
            card.binaries.append({valueName, binary->bytes});
        } else {
            QString label = knownLabel(name);
            if (isName(name, "N"))
                label = u"Name"_s;
            else if (isName(name, "FN"))
                label = u"Formatted name"_s;
            else if (isName(name, "ORG"))
                label = u"Company"_s;
            if (!p.label.isEmpty())
                label = p.label;
            card.addExtra(labelled(label, p, groupLabel), value);
        }
    }
    // A label whose group names no other property is kept as it is.
    for (const Property &p : properties)
        if (isName(p.name, "X-ABLABEL") && !p.group.isEmpty() && !labelledGroups.contains(p.group))
            card.addExtra(u"Label"_s, groupLabels.value(p.group));
    return card;
}

} // namespace

bool looksLikeVCard(const QByteArray &bytes)
{
    QByteArray start = utf16AsUtf8(bytes.left(4096));
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    // Comment lines may come first, as in the files Android writes and reads.
    start = start.trimmed();
    while (start.startsWith('#')) {
        const qsizetype end = start.indexOf('\n');
        start = end < 0 ? QByteArray() : start.mid(end + 1).trimmed();
    }
    return start.left(11).toUpper() == "BEGIN:VCARD";
}

QList<QList<VCardValue>> readVCardValues(const QByteArray &input)
{
    QList<QList<VCardValue>> cards;
    QList<QList<Property>> open;
    const auto finish = [&cards](const QList<Property> &properties) {
        bool version21 = false;
        for (const Property &p : properties)
            if (p.name == "VERSION")
                version21 = p.value.trimmed() == "2.1";
        QList<VCardValue> card;
        for (const Property &p : properties) {
            const QString decoded = decodedValue(p);
            card.append(VCardValue{
                p.name, p.label, p.ownLabel, p.encoding,
                p.encoding == "QUOTED-PRINTABLE" ? decodeQuotedPrintable(p.value) : p.value,
                unescape(decoded, version21), components(decoded, version21, 0), p.types});
        }
        cards.append(card);
    };
    const QByteArray bytes = utf16AsUtf8(input); // the lines read from it in place
    PropertyReader reader(bytes);
    while (std::optional<Property> property = reader.next()) {
        const QByteArray value = property->value.trimmed().toUpper();
        if (property->name == "BEGIN" || (property->name == "AGENT" && value == "BEGIN:VCARD")) {
            open.append(QList<Property>());
        } else if (property->name == "END") {
            if (open.isEmpty())
                return {};
            finish(open.takeLast());
        } else if (!open.isEmpty()) {
            open.last().append(std::move(*property));
        }
    }
    if (!reader.problem().isEmpty())
        return {};
    return cards;
}

ReadResult readVCards(const QByteArray &input)
{
    QList<ImportedContact> contacts;
    ReadResult result = readVCards(
        input, [&contacts](ImportedContact &&contact) { contacts.append(std::move(contact)); });
    if (result.ok())
        result.contacts = std::move(contacts);
    return result;
}

ReadResult readVCards(const QByteArray &input, const ContactSink &take)
{
    ReadResult result;
    const auto fail = [&result](int line, const QString &text) {
        result.contacts.clear();
        result.errorLine = line;
        result.error = text;
        return result;
    };
    const QByteArray bytes = utf16AsUtf8(input);
    // The cards open at this point: an agent's card nests in the card that names it
    // (vCard 2.1's AGENT, as Android reads it) and becomes a contact of its own.
    struct OpenCard
    {
        int line;
        QList<Property> properties;
    };
    QList<OpenCard> open;
    PropertyReader reader(bytes);
    while (std::optional<Property> property = reader.next()) {
        const int line = reader.line();
        const QByteArray &name = property->name;
        const bool structural = name.size() >= 3 &&
                                (name[0] == 'B' || name[0] == 'E' || name[0] == 'A') &&
                                (name == "BEGIN" || name == "END" || name == "AGENT");
        // Only the lines that open or close a card need their value in upper case.
        QByteArray value = structural ? property->value.trimmed().toUpper() : QByteArray();
        // "AGENT:BEGIN:VCARD": the agent's card begins on the same line.
        const bool agentOnLine = property->name == "AGENT" && value == "BEGIN:VCARD";
        if (agentOnLine)
            value = "VCARD";
        if (property->name == "BEGIN" || agentOnLine) {
            if (value != "VCARD")
                return fail(line, u"BEGIN:%1 where a vCard should begin"_s.arg(
                                      quotedInput(property->value.trimmed())));
            if (agentOnLine && open.isEmpty())
                return fail(line, u"a line outside any BEGIN:VCARD ... END:VCARD"_s);
            const bool agent =
                agentOnLine || (!open.isEmpty() && !open.last().properties.isEmpty() &&
                                open.last().properties.last().name == "AGENT" &&
                                open.last().properties.last().value.trimmed().isEmpty());
            if (!open.isEmpty() && !agent)
                return fail(line, u"a card begins inside the card that begins on line %1"_s.arg(
                                      open.last().line));
            if (open.size() >= MaxNesting)
                return fail(line, u"cards nested more than %1 deep"_s.arg(MaxNesting));
            if (agentOnLine)
                open.last().properties.append(*property);
            open.append(OpenCard{line, {}});
            open.last().properties.reserve(16);
        } else if (open.isEmpty()) {
            return fail(line, u"a line outside any BEGIN:VCARD ... END:VCARD"_s);
        } else if (property->name == "END") {
            if (value != "VCARD")
                return fail(line, u"END:%1 where END:VCARD should be"_s.arg(
                                      quotedInput(property->value.trimmed())));
            const OpenCard card = open.takeLast();
            // Only checking: no card is built, nor an agent's name for a card never built.
            if (!take)
                continue;
            ImportedContact contact = buildContact(interpret(card.properties, card.line));
            if (!open.isEmpty()) {
                // The card that names the agent keeps who it is.
                Property &agent = open.last().properties.last();
                agent.value = contact.name.toUtf8();
                agent.encoding.clear();
                agent.charset.clear();
            }
            if (take)
                take(std::move(contact));
        } else if (QList<Property> &properties = open.last().properties;
                   !take && !properties.isEmpty()) {
            // Only checking: the last property alone tells whether an agent's card follows.
            properties.last() = std::move(*property);
        } else {
            properties.append(std::move(*property));
        }
    }
    if (!reader.problem().isEmpty())
        return fail(reader.line(), reader.problem());
    if (!open.isEmpty())
        return fail(open.first().line, u"the card that begins here has no END:VCARD"_s);
    return result;
}

} // namespace cardomine::interchange
