// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The blocks a sync conflict adds at the end of a contact's own notes: a heading line
// "--- Sync conflict <when>: <what> ---" and under it the other side's values as
// "Label: value" lines. They go out to the address book as note text only; the value of
// the notes the two sides compare is the text before the first block, so the blocks
// are never read back as values and never doubled.
namespace cardomine::sync {

inline const QString ConflictHeadingStart = QStringLiteral("--- Sync conflict ");

// Where the first conflict heading starts in the own notes, or -1: it must start a line.
qsizetype conflictBlocksAt(const QString &ownNotes);

// The own notes without their conflict blocks and the line end before them.
QString notesValue(const QString &ownNotes);

// The conflict blocks at the end of the own notes, from the first heading on; empty
// without one.
QString conflictBlocks(const QString &ownNotes);

// The lines that the own notes' conflict blocks do not hold yet: a conflict found again
// (a pass redone after it was cut short, the same value sent again) adds nothing.
QStringList newConflictLines(const QString &ownNotes, const QStringList &lines);

} // namespace cardomine::sync
