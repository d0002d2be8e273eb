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

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace cardomine
