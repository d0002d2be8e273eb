// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/commandbutton.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>

namespace cardomine {

PictureButton::PictureButton(QWidget *parent)
    : CommandButton(parent)
{
    setIconSize(QSize(PictureSide, PictureSide));
}

int PictureButton::captionFlags() const
{
    return Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;
}

QRect PictureButton::pictureRect() const
{
    const QRect area = rect().adjusted(Margin, Margin, -Margin, -Margin);
    const QRect caption =
        fontMetrics().boundingRect(QRect(0, 0, area.width(), 1000), captionFlags(), text());
    // Icon and caption as one block, centred when there is room and top-aligned when not.
    const int block = PictureSide + Gap + caption.height();
    const int top = area.top() + std::max(0, (area.height() - block) / 2);
    return QRect(area.left() + (area.width() - PictureSide) / 2, top, PictureSide, PictureSide);
}

QRect PictureButton::captionRect() const
{
    const QRect area = rect().adjusted(Margin, Margin, -Margin, -1);
    const QRect picture = pictureRect();
    return QRect(area.left(), picture.bottom() + 1 + Gap, area.width(),
                 area.bottom() - picture.bottom() - Gap);
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    // A pressed button shifts its content like the style does for plain buttons.
    QPoint shift;
    if (isDown() || isChecked())
        shift = QPoint(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));

    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    icon().paint(&painter, pictureRect().translated(shift), Qt::AlignCenter, mode);
    painter.drawItemText(captionRect().translated(shift), captionFlags(), palette(), isEnabled(),
                         text(), QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace cardomine
