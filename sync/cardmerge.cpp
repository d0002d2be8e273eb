// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/cardmerge.h"

#include "sync/conflictnotes.h"

#include "interchange/exportformats.h"
#include "interchange/fieldtext.h"
#include "interchange/importcard.h"
#include "interchange/importreader.h"
#include "interchange/wholecontact.h"

#include <QStringList>

namespace cardomine::sync {

using namespace Qt::StringLiterals;
using interchange::importing::boxRendering;

namespace {

// One property of the card: its lines as written, and what they say unfolded.
struct Property
{
    QStringList raw; // as written, folded; empty for a property this merge made
    QString name;    // upper case, without a group prefix
    QString params;  // the text between the name and the colon, with its leading ';'
    QString value;   // still escaped or encoded
    bool removed = false;
    QString written; // the new content line, when replaced or added
};

bool isQuotedPrintable(const QString &params)
{
    return params.contains(u"QUOTED-PRINTABLE"_s, Qt::CaseInsensitive);
}

void parse(Property &p, const QString &unfolded)
{
    // The value starts at the first colon outside a quoted parameter value.
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < unfolded.size(); ++i) {
        const QChar c = unfolded.at(i);
        if (c == u'"')
            quoted = !quoted;
        else if (c == u':' && !quoted) {
            colon = i;
            break;
        }
    }
    const QString head = colon < 0 ? unfolded : unfolded.left(colon);
    p.value = colon < 0 ? QString() : unfolded.mid(colon + 1);
    const qsizetype semicolon = head.indexOf(u';');
    QString name = semicolon < 0 ? head : head.left(semicolon);
    p.params = semicolon < 0 ? QString() : head.mid(semicolon);
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0)
        name = name.mid(dot + 1);
    p.name = name.trimmed().toUpper();
}

QList<Property> properties(const QString &text)
{
    QList<Property> out;
    QString unfolded;
    const auto finish = [&] {
        if (!out.isEmpty())
            parse(out.last(), unfolded);
    };
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool folded = line.startsWith(u' ') || line.startsWith(u'\t');
        // A quoted-printable value continues after a soft break ('=' at the line end).
        const bool softBreak = !out.isEmpty() && isQuotedPrintable(unfolded.section(u':', 0, 0)) &&
                               unfolded.endsWith(u'=');
        if (!out.isEmpty() && (folded || softBreak)) {
            out.last().raw.append(line);
            if (softBreak)
                unfolded = unfolded.chopped(1) + line;
            else
                unfolded += line.mid(1);
            continue;
        }
        if (line.isEmpty())
            continue;
        finish();
        out.append(Property{});
        out.last().raw.append(line);
        unfolded = line;
    }
    finish();
    return out;
}

QString decodeQuotedPrintable(const QString &value)
{
    QByteArray bytes;
    const QByteArray in = value.toLatin1();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int code = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                bytes += char(code);
                i += 2;
                continue;
            }
        }
        bytes += in.at(i);
    }
    return interchange::importing::decodeGuessing(bytes);
}

// The components of a value, split at unescaped semicolons, each unescaped.
QStringList components(const Property &p)
{
    const QString value = isQuotedPrintable(p.params) ? decodeQuotedPrintable(p.value) : p.value;
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar e = value.at(++i);
            parts.last() += (e == u'n' || e == u'N') ? u'\n' : e;
        } else if (c == u';') {
            parts.append(QString());
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

QString joined(const QStringList &parts)
{
    QStringList escaped;
    for (const QString &part : parts)
        escaped.append(interchange::escapeText(part));
    return escaped.join(u';');
}

// The parameters without an encoding or character set: a value this merge writes is
// plain UTF-8.
QString plainParams(const QString &params)
{
    QStringList kept;
    for (const QString &param : params.split(u';', Qt::SkipEmptyParts)) {
        const QString upper = param.trimmed().toUpper();
        if (upper.startsWith(u"ENCODING="_s) || upper.startsWith(u"CHARSET="_s) ||
            upper == u"QUOTED-PRINTABLE"_s || upper == u"8BIT"_s)
            continue;
        kept.append(param);
    }
    return kept.isEmpty() ? QString() : u';' + kept.join(u';');
}

void replaceValue(Property &p, const QString &value)
{
    p.written = p.name + plainParams(p.params) + u':' + value;
}

void addProperty(QList<Property> &props, const QString &line)
{
    Property p;
    p.written = line;
    parse(p, line);
    // Before END:VCARD.
    qsizetype at = props.size();
    for (qsizetype i = props.size() - 1; i >= 0; --i)
        if (props.at(i).name == u"END"_s) {
            at = i;
            break;
        }
    props.insert(at, p);
}

Property *find(QList<Property> &props, const QString &name)
{
    for (Property &p : props)
        if (!p.removed && p.name == name)
            return &p;
    return nullptr;
}

// The TEL or EMAIL property whose value the box shows as `shown`.
Property *findShown(QList<Property> &props, FieldBox box, const QString &shown,
                    std::initializer_list<QString> names)
{
    if (shown.isEmpty())
        return nullptr;
    for (Property &p : props) {
        if (p.removed || std::find(names.begin(), names.end(), p.name) == names.end())
            continue;
        if (boxRendering(box, components(p).join(u';')) == shown)
            return &p;
    }
    return nullptr;
}

QString box(const Boxes &b, FieldBox which)
{
    return b.box[size_t(which)];
}

bool changed(const Boxes &seen, const Boxes &now, FieldBox which)
{
    return box(seen, which) != box(now, which);
}

void mergeNames(QList<Property> &props, const Boxes &seen, const Boxes &now)
{
    if (!changed(seen, now, FieldBox::FirstName) && !changed(seen, now, FieldBox::LastName))
        return;
    // The card's own spelling of a part the user left alone stays (a name the card file
    // shows with "?" for a letter it lacks).
    QString given = box(now, FieldBox::FirstName);
    QString family = box(now, FieldBox::LastName);
    if (Property *n = find(props, u"N"_s)) {
        QStringList parts = components(*n);
        while (parts.size() < 5)
            parts.append(QString());
        if (changed(seen, now, FieldBox::LastName))
            parts[0] = family;
        if (changed(seen, now, FieldBox::FirstName))
            parts[1] = given;
        family = parts.at(0);
        given = parts.at(1);
        replaceValue(*n, joined(parts));
    } else {
        addProperty(props, u"N:"_s + joined({family, given, {}, {}, {}}));
    }
    QString full = QStringList{given, family}.join(u' ').trimmed();
    if (full.isEmpty())
        full = box(now, FieldBox::Company);
    if (Property *fn = find(props, u"FN"_s))
        replaceValue(*fn, interchange::escapeText(full));
    else
        addProperty(props, u"FN:"_s + interchange::escapeText(full));
}

void mergeCompany(QList<Property> &props, const Boxes &seen, const Boxes &now)
{
    if (!changed(seen, now, FieldBox::Company))
        return;
    const QString company = box(now, FieldBox::Company);
    Property *org = find(props, u"ORG"_s);
    if (org && company.isEmpty()) {
        org->removed = true;
    } else if (org) {
        QStringList parts = components(*org);
        parts[0] = company; // the units below it stay
        replaceValue(*org, joined(parts));
    } else if (!company.isEmpty()) {
        addProperty(props, u"ORG:"_s + interchange::escapeText(company));
    }
}

void mergeAddress(QList<Property> &props, const Boxes &seen, const Boxes &now)
{
    // Street, locality, region and postal code, at their places in ADR.
    static const std::array<std::pair<FieldBox, int>, 4> Parts{
        {{FieldBox::Address, 2}, {FieldBox::City, 3}, {FieldBox::State, 4}, {FieldBox::Zip, 5}}};
    bool any = false;
    for (const auto &[b, index] : Parts)
        any = any || changed(seen, now, b);
    if (!any)
        return;
    // The ADR the boxes were filled from: every part shows as the box does.
    Property *adr = nullptr;
    Property *first = nullptr;
    for (Property &p : props) {
        if (p.removed || p.name != u"ADR"_s)
            continue;
        if (!first)
            first = &p;
        QStringList parts = components(p);
        while (parts.size() < 7)
            parts.append(QString());
        bool same = true;
        for (const auto &[b, index] : Parts)
            same = same && boxRendering(b, parts.at(index)) == box(seen, b);
        if (same) {
            adr = &p;
            break;
        }
    }
    if (!adr && !box(seen, FieldBox::Address).isEmpty())
        adr = first;
    QStringList parts = adr ? components(*adr) : QStringList();
    while (parts.size() < 7)
        parts.append(QString());
    for (const auto &[b, index] : Parts)
        if (changed(seen, now, b))
            parts[index] = box(now, b);
    const bool empty = std::all_of(parts.cbegin(), parts.cend(),
                                   [](const QString &part) { return part.trimmed().isEmpty(); });
    if (adr && empty)
        adr->removed = true;
    else if (adr)
        replaceValue(*adr, joined(parts));
    else if (!empty)
        addProperty(props, u"ADR;TYPE=home:"_s + joined(parts));
}

void mergePhone(QList<Property> &props, const Boxes &seen, const Boxes &now, FieldBox which,
                const QString &type)
{
    if (!changed(seen, now, which))
        return;
    const QString value = box(now, which);
    Property *tel = findShown(props, which, box(seen, which), {u"TEL"_s});
    if (tel && value.isEmpty())
        tel->removed = true;
    else if (tel)
        replaceValue(*tel, interchange::escapeText(value));
    else if (!value.isEmpty())
        addProperty(props, u"TEL;TYPE="_s + type + u':' + interchange::escapeText(value));
}

void mergeFaxOrEmail(QList<Property> &props, const Boxes &seen, const Boxes &now)
{
    const FieldBox which = FieldBox::FaxOrEmail;
    if (!changed(seen, now, which))
        return;
    const QString value = box(now, which).trimmed();
    const bool email = interchange::isEmailAddress(value);
    Property *old = findShown(props, which, box(seen, which), {u"EMAIL"_s, u"TEL"_s});
    if (old && !value.isEmpty() && (old->name == u"EMAIL"_s) == email) {
        replaceValue(*old, interchange::escapeText(value));
        return;
    }
    if (old)
        old->removed = true;
    if (!value.isEmpty())
        addProperty(props,
                    (email ? u"EMAIL:"_s : u"TEL;TYPE=fax:"_s) + interchange::escapeText(value));
}

// The text of a NOTE from the heading of imported values on: the values it keeps there
// (a box's whole value, values no property stands for) are no own notes, and stay.
QString sectionOf(const Property &note)
{
    const QString text = components(note).join(u';');
    const qsizetype at = text.indexOf(interchange::importing::ImportedValuesHeading);
    return at < 0 ? QString() : text.mid(at);
}

void mergeNotes(QList<Property> &props, const Boxes &seen, const Boxes &now)
{
    if (seen.ownNotes == now.ownNotes)
        return;
    const QString notes = interchange::withoutControls(now.ownNotes);
    Property *note = find(props, u"NOTE"_s);
    if (note && notes.isEmpty()) {
        for (Property &p : props) {
            if (p.name != u"NOTE"_s)
                continue;
            const QString section = sectionOf(p);
            if (section.isEmpty())
                p.removed = true;
            else
                replaceValue(p, interchange::escapeText(section));
        }
    } else if (note) {
        const QString section = sectionOf(*note);
        QString own = notes;
        // Only the conflict blocks changed: the note's own text stays as the card spells
        // it (letters the card file lacks, say), with the new blocks after it.
        const bool oneNote = std::count_if(props.cbegin(), props.cend(), [](const Property &p) {
                                 return !p.removed && p.name == u"NOTE"_s;
                             }) == 1;
        if (oneNote && notesValue(seen.ownNotes) == notesValue(now.ownNotes)) {
            const QString text = components(*note).join(u';');
            QString cardOwn = text.left(text.size() - section.size());
            while (cardOwn.endsWith(u'\n') || cardOwn.endsWith(u'\r'))
                cardOwn.chop(1);
            own = notesValue(cardOwn);
            const auto lines = [](QString t) { return t.replace(u"\r\n"_s, u"\n"_s); };
            QString blocks = lines(interchange::withoutControls(conflictBlocks(now.ownNotes)));
            // The blocks the note held already stay as it spells them (values the card
            // file shows with "?" for letters it lacks); only the new ones come after.
            const QString seenBlocks =
                lines(interchange::withoutControls(conflictBlocks(seen.ownNotes)));
            const QString noteBlocks = lines(conflictBlocks(cardOwn));
            if (!seenBlocks.isEmpty() && !noteBlocks.isEmpty() && blocks.startsWith(seenBlocks))
                blocks = noteBlocks + blocks.mid(seenBlocks.size());
            if (!blocks.isEmpty())
                own += (own.isEmpty() ? QString() : u"\r\n"_s) + blocks;
        }
        if (!section.isEmpty())
            own += (own.isEmpty() ? QString() : u"\r\n"_s) + section;
        replaceValue(*note, interchange::escapeText(own));
    } else if (!notes.isEmpty()) {
        addProperty(props, u"NOTE:"_s + interchange::escapeText(notes));
    }
}

} // namespace

Boxes boxesOf(const ContactRecord &record, const QString &notes)
{
    Boxes boxes;
    for (int i = 0; i < FieldBoxCount; ++i)
        boxes.box[size_t(i)] = interchange::fieldValue(record.fieldText(FieldBox(i))).trimmed();
    const qsizetype section = notes.indexOf(interchange::importing::ImportedValuesHeading);
    QString own = section < 0 ? notes : notes.left(section);
    while (own.endsWith(u'\n') || own.endsWith(u'\r'))
        own.chop(1);
    boxes.ownNotes = own;
    return boxes;
}

Boxes wholeBoxesOf(const ContactRecord &record, const QString &notes)
{
    Boxes boxes = boxesOf(record, notes);
    if (!notes.contains(interchange::importing::ImportedValuesHeading))
        return boxes;
    return wholeBoxesOf(std::move(boxes), interchange::wholeContact(record, notes));
}

Boxes wholeBoxesOf(Boxes boxes, const interchange::WholeContact &whole)
{
    for (int i = 0; i < FieldBoxCount; ++i)
        if (whole.restored[size_t(i)])
            boxes.box[size_t(i)] = whole.boxes[size_t(i)].trimmed();
    return boxes;
}

std::optional<Boxes> renderedBoxes(const QByteArray &vcard)
{
    const interchange::ReadResult read = interchange::readVCards(vcard);
    if (!read.ok() || read.contacts.size() != 1)
        return std::nullopt;
    return boxesOf(read.contacts.first().record, read.contacts.first().notes);
}

namespace {

QByteArray cardText(const QByteArray &vcard, const QList<Property> &props)
{
    QByteArray out;
    out.reserve(vcard.size() + 128);
    for (const Property &p : std::as_const(props)) {
        if (p.removed)
            continue;
        if (!p.written.isEmpty()) {
            out += interchange::foldLine(p.written);
            continue;
        }
        for (const QString &line : p.raw)
            out += line.toUtf8() + "\r\n";
    }
    return out;
}

} // namespace

QByteArray mergeIntoCard(const QByteArray &vcard, const Boxes &seen, const Boxes &now)
{
    QList<Property> props = properties(interchange::importing::decodeGuessing(vcard));
    mergeNames(props, seen, now);
    mergeCompany(props, seen, now);
    mergeAddress(props, seen, now);
    mergePhone(props, seen, now, FieldBox::HomePhone, u"home"_s);
    mergePhone(props, seen, now, FieldBox::WorkPhone, u"work"_s);
    mergePhone(props, seen, now, FieldBox::PagerMobile, u"cell"_s);
    mergeFaxOrEmail(props, seen, now);
    mergeNotes(props, seen, now);
    return cardText(vcard, props);
}

namespace {

// The value behind a box among the card's properties: the first property part the box
// shows as `shown`.
std::optional<QString> wholeValueAmong(const QList<Property> &props, FieldBox box,
                                       const QString &shown)
{
    // Where each box's value stands: a property and the part of it, -1 for the whole.
    QStringList names;
    int part = -1;
    switch (box) {
    case FieldBox::FirstName:
        names = {u"N"_s};
        part = 1;
        break;
    case FieldBox::LastName:
        names = {u"N"_s};
        part = 0;
        break;
    case FieldBox::Company:
        names = {u"ORG"_s};
        part = 0;
        break;
    case FieldBox::Address:
    case FieldBox::City:
    case FieldBox::State:
    case FieldBox::Zip:
        names = {u"ADR"_s};
        part = 2 + int(box) - int(FieldBox::Address);
        break;
    case FieldBox::FaxOrEmail:
        names = {u"TEL"_s, u"EMAIL"_s};
        break;
    default:
        names = {u"TEL"_s};
        break;
    }
    for (const Property &p : props) {
        if (!names.contains(p.name))
            continue;
        const QStringList parts = components(p);
        const QString value = part < 0 ? parts.join(u';') : parts.value(part);
        if (!value.isEmpty() && boxRendering(box, value) == shown)
            return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> wholeValueIn(const QByteArray &vcard, FieldBox box, const QString &shown)
{
    return wholeValueAmong(properties(interchange::importing::decodeGuessing(vcard)), box, shown);
}

Boxes wholeBoxesIn(const QByteArray &vcard, const Boxes &shown)
{
    const QList<Property> props = properties(interchange::importing::decodeGuessing(vcard));
    Boxes whole = shown;
    for (int i = 0; i < FieldBoxCount; ++i)
        if (!shown.box[size_t(i)].isEmpty())
            whole.box[size_t(i)] = wholeValueAmong(props, FieldBox(i), shown.box[size_t(i)])
                                       .value_or(shown.box[size_t(i)]);
    return whole;
}

QByteArray correctValues(const QByteArray &vcard, const QList<Correction> &corrections)
{
    if (corrections.isEmpty())
        return vcard;
    QList<Property> props = properties(interchange::importing::decodeGuessing(vcard));
    bool changed = false;
    for (const Correction &c : corrections) {
        Property *holder = nullptr;
        int holders = 0;
        for (Property &p : props) {
            if (p.removed || p.name == u"BEGIN"_s || p.name == u"END"_s || p.name == u"VERSION"_s ||
                p.name == u"UID"_s)
                continue;
            const QStringList parts = components(p);
            if (parts.size() == 1 && parts.first() == c.was) {
                holder = &p;
                ++holders;
            }
        }
        if (holders != 1)
            continue;
        replaceValue(*holder, interchange::escapeText(c.now));
        changed = true;
    }
    return changed ? cardText(vcard, props) : vcard;
}

} // namespace cardomine::sync
