// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBasicTimer>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace cardomine {

// A single-line text box as the classic platform's: while locked (read-only) it still
// takes the focus and shows its blinking caret, which the user moves over the text
// and its blanks; only the edits are refused. Qt draws no caret in a read-only box,
// so this one draws it itself.
class LockableLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit LockableLineEdit(QWidget *parent = nullptr);

    // Whether the caret of a locked box is drawn at this moment of its blink.
    bool isLockedCaretShown() const { return m_caretOn && lockedCaretWanted(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    bool lockedCaretWanted() const;
    void restartBlink();

    QBasicTimer m_blink;
    bool m_caretOn = false;
};

// The notes box: while locked it still shows its caret and lets the keyboard move it
// and select text, as a locked classic box does.
class LockableNotesBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LockableNotesBox(QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void keepCaretWhenLocked();
};

} // namespace cardomine
