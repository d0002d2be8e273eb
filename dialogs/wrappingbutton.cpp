// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/wrappingbutton.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace cardomine {

namespace {

// The parts of a check box and of an option button, as the style names them.
struct Parts
{
    QStyle::SubElement indicator;
    QStyle::SubElement contents;
    QStyle::PrimitiveElement indicatorLook;
};
constexpr Parts CheckBoxParts{QStyle::SE_CheckBoxIndicator, QStyle::SE_CheckBoxContents,
                              QStyle::PE_IndicatorCheckBox};
constexpr Parts RadioParts{QStyle::SE_RadioButtonIndicator, QStyle::SE_RadioButtonContents,
                           QStyle::PE_IndicatorRadioButton};

void paintButton(QWidget *button, const QStyleOptionButton &option, const Parts &parts)
{
    QStylePainter painter(button);
    QStyle *style = button->style();

    QStyleOptionButton indicator = option;
    indicator.rect = style->subElementRect(parts.indicator, &option, button);
    painter.drawPrimitive(parts.indicatorLook, indicator);

    const QRect caption = style->subElementRect(parts.contents, &option, button);
    const int flags = WrappingCheckBox::captionFlags();
    painter.drawItemText(caption, flags, option.palette, option.state & QStyle::State_Enabled,
                         option.text, QPalette::WindowText);

    if (option.state & QStyle::State_HasFocus) {
        // Around the caption's lines, as the classic focus rectangle is.
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.fontMetrics.boundingRect(caption, flags, option.text)
                         .adjusted(-1, 0, 1, 0)
                         .intersected(button->rect());
        focus.backgroundColor = option.palette.color(QPalette::Window);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

template <typename Button> QRect captionRectOf(const Button *button, const Parts &parts)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(parts.contents, &option, button);
}

template <typename Button> void fitCaptionOf(Button *button)
{
    const auto fits = [button] {
        const QRect area = button->captionRect();
        const QRect needed =
            button->fontMetrics().boundingRect(area, Button::captionFlags(), button->text());
        return area.contains(needed);
    };
    QFont font = button->font();
    while (!fits() && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        button->setFont(font);
    }
}

} // namespace

WrappingCheckBox::WrappingCheckBox(const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent)
{}

int WrappingCheckBox::captionFlags()
{
    return Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
}

QRect WrappingCheckBox::captionRect() const
{
    return captionRectOf(this, CheckBoxParts);
}

void WrappingCheckBox::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    paintButton(this, option, CheckBoxParts);
}

bool WrappingCheckBox::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}

WrappingRadioButton::WrappingRadioButton(const QString &caption, QWidget *parent)
    : QRadioButton(caption, parent)
{}

QRect WrappingRadioButton::captionRect() const
{
    return captionRectOf(this, RadioParts);
}

void WrappingRadioButton::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    paintButton(this, option, RadioParts);
}

bool WrappingRadioButton::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}

void fitCaption(WrappingCheckBox *button)
{
    fitCaptionOf(button);
}

void fitCaption(WrappingRadioButton *button)
{
    fitCaptionOf(button);
}

} // namespace cardomine
