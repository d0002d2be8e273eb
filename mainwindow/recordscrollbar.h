// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QScrollBar>

namespace cardomine {

// The record scroll bar. Qt's horizontal scroll bar swaps Left and Right when its
// controls are inverted (as QScrollBar's are by default); this one steps the way a
// card file reads: Right and Down to the next record, Left and Up to the one before.
class RecordScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit RecordScrollBar(QWidget *parent = nullptr);

    // Ends a press on an arrow or the track as a release would: the repeat stops. A
    // box opened from inside the press takes the mouse, so the release never comes
    // here, and the scroll bar would go on stepping into the same failure.
    void abandonPress();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace cardomine
