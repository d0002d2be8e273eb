// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/conflictnotes.h"

namespace cardomine::sync {

qsizetype conflictBlocksAt(const QString &ownNotes)
{
    for (qsizetype at = ownNotes.indexOf(ConflictHeadingStart); at >= 0;
         at = ownNotes.indexOf(ConflictHeadingStart, at + 1))
        if (at == 0 || ownNotes.at(at - 1) == u'\n')
            return at;
    return -1;
}

QString notesValue(const QString &ownNotes)
{
    const qsizetype at = conflictBlocksAt(ownNotes);
    if (at < 0)
        return ownNotes;
    QString value = ownNotes.left(at);
    if (value.endsWith(u'\n'))
        value.chop(1);
    if (value.endsWith(u'\r'))
        value.chop(1);
    return value;
}

QString conflictBlocks(const QString &ownNotes)
{
    const qsizetype at = conflictBlocksAt(ownNotes);
    return at < 0 ? QString() : ownNotes.mid(at);
}

namespace {

// Whether the text holds the line (of one or more lines) as whole lines.
bool holdsLines(const QString &text, const QString &line)
{
    for (qsizetype at = text.indexOf(line); at >= 0; at = text.indexOf(line, at + 1)) {
        const qsizetype end = at + line.size();
        if ((at == 0 || text.at(at - 1) == u'\n') &&
            (end == text.size() || text.at(end) == u'\r' || text.at(end) == u'\n'))
            return true;
    }
    return false;
}

} // namespace

QStringList newConflictLines(const QString &ownNotes, const QStringList &lines)
{
    const QString held = conflictBlocks(ownNotes);
    QStringList out;
    for (const QString &line : lines)
        if (!line.isEmpty() && !holdsLines(held, line) && !out.contains(line))
            out.append(line);
    return out;
}

} // namespace cardomine::sync
