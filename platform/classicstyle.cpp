// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/classicstyle.h"

#include "platform/fonts.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace cardomine::platform {

namespace {

// The classic progress bar's blocks are two thirds as wide as the bar is high and
// two pixels apart.
constexpr int BlockGap = 2;

// A scroll bar of its own, not one a scrolled box (a QAbstractScrollArea) keeps in
// the container beside its viewport.
bool isScrollBarControl(const QWidget *widget)
{
    if (qobject_cast<const QScrollBar *>(widget) == nullptr)
        return false;
    const QWidget *container = widget->parentWidget();
    return container == nullptr ||
           qobject_cast<const QAbstractScrollArea *>(container->parentWidget()) == nullptr;
}

} // namespace

ClassicStyle::ClassicStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows")))
{}

void ClassicStyle::drawControl(ControlElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    const auto *bar = qstyleoption_cast<const QStyleOptionProgressBar *>(option);
    const bool horizontal = bar != nullptr && (bar->state & State_Horizontal);
    if (element != CE_ProgressBarContents || !horizontal || bar->invertedAppearance ||
        bar->direction == Qt::RightToLeft || bar->maximum <= bar->minimum) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const QRect area = option->rect;
    const qint64 span = qint64(bar->maximum) - bar->minimum;
    const qint64 done = std::clamp<qint64>(qint64(bar->progress) - bar->minimum, 0, span);
    const int filled = int(done * area.width() / span);
    const int block = std::max(1, area.height() * 2 / 3);
    const QBrush brush = option->palette.brush(QPalette::Highlight);
    // The last block is cut where the value ends, so the bar never shows more than done.
    const int end = area.left() + filled;
    for (int x = area.left(); x < end; x += block + BlockGap)
        painter->fillRect(QRect(x, area.top(), std::min(block, end - x), area.height()), brush);
}

void ClassicStyle::drawItemText(QPainter *painter, const QRect &rect, int flags,
                                const QPalette &palette, bool enabled, const QString &text,
                                QPalette::ColorRole textRole) const
{
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    if (ratio > 1.0 && !text.isEmpty() && fonts::madeUpBold(painter->font())) {
        painter->save();
        painter->translate(1.0 / ratio, 0.0);
        QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
        painter->restore();
    }
    QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
}

QRect ClassicStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                   SubControl part, const QWidget *widget) const
{
    const auto *bar = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (control != CC_ScrollBar || bar == nullptr || !isScrollBarControl(widget) ||
        (part != SC_ScrollBarSlider && part != SC_ScrollBarAddPage && part != SC_ScrollBarSubPage))
        return QProxyStyle::subControlRect(control, option, part, widget);

    // The thumb is a square as thick as the bar; the rest of the groove is the two pages.
    // Worked out left to right, then mirrored for a right-to-left bar.
    const QRect groove =
        visualRect(bar->direction, bar->rect,
                   QProxyStyle::subControlRect(control, option, SC_ScrollBarGroove, widget));
    const bool horizontal = bar->orientation == Qt::Horizontal;
    const int length = horizontal ? groove.width() : groove.height();
    const int thumb = std::min(length, horizontal ? groove.height() : groove.width());
    const int offset = sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                               length - thumb, bar->upsideDown);
    QRect slider = horizontal ? QRect(groove.left() + offset, groove.top(), thumb, groove.height())
                              : QRect(groove.left(), groove.top() + offset, groove.width(), thumb);
    QRect rect;
    if (part == SC_ScrollBarSlider)
        rect = slider;
    else if (horizontal)
        rect = part == SC_ScrollBarSubPage
                   ? QRect(groove.topLeft(), QPoint(slider.left() - 1, groove.bottom()))
                   : QRect(QPoint(slider.right() + 1, groove.top()), groove.bottomRight());
    else
        rect = part == SC_ScrollBarSubPage
                   ? QRect(groove.topLeft(), QPoint(groove.right(), slider.top() - 1))
                   : QRect(QPoint(groove.left(), slider.bottom() + 1), groove.bottomRight());
    return visualRect(bar->direction, bar->rect, rect);
}

} // namespace cardomine::platform
