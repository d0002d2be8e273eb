// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/importedvalues.h"

#include "interchange/importcard.h"

namespace cardomine::interchange {

using namespace Qt::StringLiterals;

namespace {

// Where the heading line starts, or -1: it must be a line of its own.
qsizetype headingAt(const QString &notes)
{
    const QString &heading = importing::ImportedValuesHeading;
    for (qsizetype at = notes.indexOf(heading); at >= 0; at = notes.indexOf(heading, at + 1)) {
        const qsizetype end = at + heading.size();
        const bool startsLine = at == 0 || notes.at(at - 1) == u'\n';
        const bool endsLine =
            end == notes.size() || notes.at(end) == u'\r' || notes.at(end) == u'\n';
        if (startsLine && endsLine)
            return at;
    }
    return -1;
}

// "Label: value", where a label is short and does not start or end with a space; any
// other line continues the value above it.
bool splitEntry(const QString &line, ImportedValue &entry)
{
    const qsizetype colon = line.indexOf(u": "_s);
    if (colon <= 0 || !isValueLabel(line.left(colon)))
        return false;
    entry = {line.left(colon), line.mid(colon + 2)};
    return true;
}

} // namespace

bool isValueLabel(const QString &label)
{
    return !label.isEmpty() && label.size() <= 80 && !label.front().isSpace() &&
           !label.back().isSpace() && !label.contains(u": "_s) && !label.contains(u'\r') &&
           !label.contains(u'\n');
}

NotesParts splitNotes(const QString &notes)
{
    NotesParts parts;
    const qsizetype at = headingAt(notes);
    if (at < 0) {
        parts.own = notes;
        return parts;
    }
    parts.own = notes.left(at);
    if (parts.own.endsWith(u'\n'))
        parts.own.chop(1);
    if (parts.own.endsWith(u'\r'))
        parts.own.chop(1);
    const QString rest = notes.mid(at + importing::ImportedValuesHeading.size());
    QStringList lines = rest.split(u'\n');
    lines.removeFirst(); // the rest of the heading's own line
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        ImportedValue entry;
        if (splitEntry(line, entry) || parts.values.isEmpty())
            parts.values.append(splitEntry(line, entry) ? entry : ImportedValue{QString(), line});
        else
            parts.values.last().value += u"\r\n"_s + line;
    }
    return parts;
}

QString joinNotes(const QString &own, const QList<ImportedValue> &values)
{
    QString notes = own;
    if (values.isEmpty())
        return notes;
    if (!notes.isEmpty())
        notes += u"\r\n"_s;
    notes += importing::ImportedValuesHeading;
    for (const ImportedValue &v : values)
        notes += u"\r\n"_s + (v.label.isEmpty() ? v.value : v.label + u": "_s + v.value);
    return notes;
}

QString withValuesAdded(const QString &notes, const QList<ImportedValue> &values)
{
    NotesParts parts = splitNotes(notes);
    parts.values.append(values);
    return joinNotes(parts.own, parts.values);
}

QString addressText(const QStringList &parts)
{
    QStringList escaped;
    bool plain = true; // a street alone that needs no escape
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString part = parts.at(i).trimmed();
        if (!part.isEmpty() && (i != 2 || part.contains(u';') || part.contains(u'\\')))
            plain = false;
        part.replace(u"\\"_s, u"\\\\"_s).replace(u";"_s, u"\\;"_s);
        escaped.append(part);
    }
    if (plain)
        return escaped.value(2);
    while (!escaped.isEmpty() && escaped.last().isEmpty())
        escaped.removeLast();
    return escaped.join(u';');
}

QStringList addressParts(const QString &text)
{
    QStringList parts{QString()};
    bool split = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size() &&
            (text.at(i + 1) == u'\\' || text.at(i + 1) == u';'))
            parts.last() += text.at(++i);
        else if (c == u';') {
            parts.append(QString());
            split = true;
        } else
            parts.last() += c;
    }
    if (!split)
        parts = QStringList{QString(), QString(), text};
    while (parts.size() < 7)
        parts.append(QString());
    return parts;
}

} // namespace cardomine::interchange
