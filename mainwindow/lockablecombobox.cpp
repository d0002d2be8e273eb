#include "mainwindow/lockablecombobox.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace cardomine {

LockableComboBox::LockableComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
}

void LockableComboBox::showPopup()
{
    if (!m_locked)
        QComboBox::showPopup();
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
