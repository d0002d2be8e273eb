// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mainwindow/lockablebox.h"

namespace cardomine {

// The notes box with the notes limit: typing, a paste (keyboard, middle click, drag
// and drop) or an input method's text that would make the contact's notes file larger
// than notes::FileLimit is refused whole, with a message, and the notes stay as they
// were.
class LimitedNotesBox : public LockableNotesBox
{
    Q_OBJECT

public:
    explicit LimitedNotesBox(QWidget *parent = nullptr);

    // Whether text put in place of the selection keeps the notes within the limit;
    // when it does not, says so in a message box.
    bool takes(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
};

// The message a refused insertion shows.
QString notesFullTitle();
QString notesFullText();

} // namespace cardomine
