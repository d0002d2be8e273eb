// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <QValidator>

class QKeyEvent;
class QLineEdit;
class QWidget;

// What a text box takes from the user's keys and pastes: only what the user meant to
// put into a record.
namespace cardomine::platform {

// A key pressed with Alt (and not Ctrl) that carries a character: the classic platform
// takes it as an access key and never types it into a box, whether or not a button has
// that key. AltGr is not Alt: the layout's third-level characters ("@", "€" on a German
// keyboard) are typed as usual.
bool isAltCharacter(const QKeyEvent &event);

// Keeps such keys out of the box as text: a button's access key still works, since Qt
// offers the key to the shortcuts before the box sees it.
void refuseAltCharacters(QWidget *box);

// What a one-line box keeps of text the user pastes or drops into it: the first line,
// as the classic single-line box does, with tabs as spaces and no other control
// characters.
QString oneLineText(QStringView text);

// Applies oneLineText to what the user adds to a one-line box by any way in (keyboard
// paste, middle click, drag and drop, input method), and only to that: text the program
// puts into the box, such as a record as it was loaded, stays exactly as it is.
class OneLineInput : public QValidator
{
    Q_OBJECT

public:
    explicit OneLineInput(QLineEdit *box);

    State validate(QString &input, int &pos) const override;

private:
    QLineEdit *m_box;
    QString m_before; // the box's text before the change being validated
};

} // namespace cardomine::platform
