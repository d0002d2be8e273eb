// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/commandbutton.h"

#include <QKeyEvent>

namespace cardomine::platform {

CommandButton::CommandButton(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

CommandButton::CommandButton(const QString &caption, QWidget *parent)
    : CommandButton(parent)
{
    setText(caption);
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    // Qt clicks a button on Enter only when it is a default button, which these never
    // are; the classic button takes Enter as it takes Space while it has the focus.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace cardomine::platform
