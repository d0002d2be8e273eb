// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/lockablecombobox.h"

#include "platform/textinput.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QWheelEvent>

namespace cardomine {

LockableComboBox::LockableComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
    // An Alt+letter is an access key, never a letter that picks an item.
    platform::refuseAltCharacters(this);
}

void LockableComboBox::showPopup()
{
    if (m_locked)
        return;
    // Filters run newest first, so this one sees the keys before Qt's own popup does.
    view()->installEventFilter(this);
    QComboBox::showPopup();
}

bool LockableComboBox::eventFilter(QObject *watched, QEvent *event)
{
    // The open list takes Escape itself and closes, as a classic drop-down does. Qt
    // closes the list while it asks whether a shortcut wants the key, and then lets
    // the window's Escape (the exit button) have it too; claiming the key here keeps
    // it for the list.
    if (watched == view() && event->type() == QEvent::ShortcutOverride && view()->isVisible() &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel)) {
        event->accept();
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

void LockableComboBox::keyPressEvent(QKeyEvent *event)
{
    // Arrow keys, Home/End and typed letters would all move the selection. Passing the
    // key on lets the window see it as if the list were not there.
    if (m_locked) {
        event->ignore();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void LockableComboBox::wheelEvent(QWheelEvent *event)
{
    if (m_locked) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

} // namespace cardomine
