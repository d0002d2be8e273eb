// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/lockablebox.h"

#include "platform/textinput.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleHints>
#include <QTimerEvent>

#include <algorithm>

namespace cardomine {

LockableLineEdit::LockableLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    // Only what the user meant goes into a record: no Alt+letter as text, no line
    // break or tab from a paste into a fixed-width field.
    platform::refuseAltCharacters(this);
    setValidator(new platform::OneLineInput(this));
    // A caret that moves shows at once, its blink starting over.
    connect(this, &QLineEdit::cursorPositionChanged, this, [this] {
        if (isReadOnly())
            restartBlink();
    });
    connect(this, &QLineEdit::selectionChanged, this, [this] {
        if (isReadOnly())
            restartBlink();
    });
}

bool LockableLineEdit::lockedCaretWanted() const
{
    if (!isReadOnly() || !hasFocus())
        return false;
    // As an unlocked box: no caret over a selection unless the style blinks it there.
    return !hasSelectedText() ||
           style()->styleHint(QStyle::SH_BlinkCursorWhenTextSelected, nullptr, this);
}

void LockableLineEdit::restartBlink()
{
    const bool wanted = lockedCaretWanted();
    // No caret before or after (a box filled without the focus): nothing to repaint.
    if (!wanted && !m_caretOn && !m_blink.isActive())
        return;
    m_blink.stop();
    m_caretOn = wanted;
    const int flashTime = QGuiApplication::styleHints()->cursorFlashTime();
    if (m_caretOn && flashTime >= 2)
        m_blink.start(flashTime / 2, this);
    update();
}

void LockableLineEdit::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    if (!isLockedCaretShown())
        return;
    // Where an unlocked box draws its caret: cursorRect() is the caret's line with a
    // margin of five pixels before it.
    const QRect around = cursorRect();
    const int width = std::max(1, style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this));
    QPainter painter(this);
    painter.fillRect(QRect(around.left() + 5, around.top(), width, around.height() - 1),
                     palette().color(QPalette::Text));
}

void LockableLineEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    restartBlink();
}

void LockableLineEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    restartBlink();
}

void LockableLineEdit::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::ReadOnlyChange)
        restartBlink();
}

void LockableLineEdit::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_blink.timerId()) {
        QLineEdit::timerEvent(event);
        return;
    }
    m_caretOn = !m_caretOn;
    update();
}

LockableNotesBox::LockableNotesBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    platform::refuseAltCharacters(this);
}

void LockableNotesBox::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::ReadOnlyChange)
        keepCaretWhenLocked();
}

void LockableNotesBox::keepCaretWhenLocked()
{
    if (!isReadOnly())
        return;
    // Locking leaves only mouse selection; the keyboard may still move the caret and
    // select, and that is what shows the caret.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (hasFocus()) {
        // The text control settles its caret when the focus comes in: let it see the
        // focus again, as it had it before the lock.
        QFocusEvent focus(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(this, &focus);
    }
}

} // namespace cardomine
