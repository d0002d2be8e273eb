// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/limitednotesbox.h"

#include "datastore/notesfile.h"
#include "platform/messages.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include <optional>

namespace cardomine {

namespace {

constexpr qint64 MiB = 1024 * 1024;
static_assert(notes::FileLimit % MiB == 0, "the message names the limit in MiB");

// The text a key press types into the box, if any: Enter a line break, a printable
// character itself. Ctrl and Alt chords are commands, not text (AltGr comes as
// neither, or as both).
std::optional<QString> typedText(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers chord =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool command =
        chord != Qt::NoModifier && chord != (Qt::ControlModifier | Qt::AltModifier);
    if (command)
        return std::nullopt;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return QStringLiteral("\n");
    const QString text = event->text();
    if (text.isEmpty() || !(text.front().isPrint() || text.front().isHighSurrogate()))
        return std::nullopt;
    return text;
}

} // namespace

QString notesFullTitle()
{
    return QStringLiteral("Notes Too Long");
}

QString notesFullText()
{
    return QStringLiteral("The notes of a contact can take at most %1 MiB (%2 bytes, each line "
                          "end counting as two).\rThis would make them longer, so it has not "
                          "been added. Your notes are as they were.")
        .arg(notes::FileLimit / MiB)
        .arg(notes::FileLimit);
}

LimitedNotesBox::LimitedNotesBox(QWidget *parent)
    : LockableNotesBox(parent)
{}

bool LimitedNotesBox::takes(const QString &text)
{
    const QTextCursor cursor = textCursor();
    const qsizetype start = cursor.selectionStart();
    const qsizetype removed = cursor.selectionEnd() - start;
    // Each character takes at most one byte of the file and each line end two: most
    // notes are known to fit without being counted.
    const qint64 units = qint64(document()->characterCount()) - 1 - removed + text.size();
    if (2 * units + 2 <= notes::FileLimit)
        return true;
    QString after = toPlainText();
    after.replace(start, removed, text);
    if (notes::fileBytes(after) <= notes::FileLimit)
        return true;
    platform::notice(notesFullTitle(), notesFullText(), platform::MessageIcon::Exclamation,
                     window());
    return false;
}

void LimitedNotesBox::keyPressEvent(QKeyEvent *event)
{
    if (!isReadOnly()) {
        if (const std::optional<QString> typed = typedText(event); typed && !takes(*typed)) {
            event->accept();
            return;
        }
    }
    LockableNotesBox::keyPressEvent(event);
}

void LimitedNotesBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (!isReadOnly() && !event->commitString().isEmpty() && !takes(event->commitString())) {
        event->accept();
        return;
    }
    LockableNotesBox::inputMethodEvent(event);
}

void LimitedNotesBox::insertFromMimeData(const QMimeData *source)
{
    if (!isReadOnly() && source && source->hasText() && !takes(source->text()))
        return;
    LockableNotesBox::insertFromMimeData(source);
}

} // namespace cardomine
