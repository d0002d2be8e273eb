// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/recordscrollbar.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace cardomine {

RecordScrollBar::RecordScrollBar(QWidget *parent)
    : QScrollBar(Qt::Horizontal, parent)
{}

void RecordScrollBar::abandonPress()
{
    setRepeatAction(SliderNoAction);
    // Only a release makes QScrollBar forget the part that is held down.
    const QPointF outside(-1, -1);
    QMouseEvent release(QEvent::MouseButtonRelease, outside, mapToGlobal(outside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QScrollBar::mouseReleaseEvent(&release);
}

void RecordScrollBar::keyPressEvent(QKeyEvent *event)
{
    SliderAction action = SliderNoAction;
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Down:
            action = SliderSingleStepAdd;
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            action = SliderSingleStepSub;
            break;
        case Qt::Key_PageDown:
            action = SliderPageStepAdd;
            break;
        case Qt::Key_PageUp:
            action = SliderPageStepSub;
            break;
        case Qt::Key_Home:
            action = SliderToMinimum;
            break;
        case Qt::Key_End:
            action = SliderToMaximum;
            break;
        default:
            break;
        }
    }
    if (action == SliderNoAction) {
        QScrollBar::keyPressEvent(event);
        return;
    }
    triggerAction(action);
    event->accept();
}

} // namespace cardomine
