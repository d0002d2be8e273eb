// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

namespace cardomine::platform {

// Qt's "Windows" style with the two controls it draws unlike the classic platform:
// the progress bar fills in blocks, not in one bar, and a scroll bar control keeps a
// fixed square thumb whatever its range. Scroll bars of scrolled boxes (the notes)
// keep their proportional thumbs, as the classic platform's edit boxes had them. On a
// scaled screen, bold text of a family without a bold face is struck twice, a device
// pixel apart, as the classic platform made up a bold: Qt's own made-up bold is too thin
// to tell from the regular text there.
class ClassicStyle : public QProxyStyle
{
public:
    ClassicStyle();

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &palette,
                      bool enabled, const QString &text,
                      QPalette::ColorRole textRole = QPalette::NoRole) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget = nullptr) const override;
};

} // namespace cardomine::platform
