// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mainwindow/frmwork.h"

#include <QLineEdit>
#include <QList>
#include <QString>

namespace cardomine::testing {

// A field's text as the window shows it: padded with spaces, or cut, to its width.
inline QString padded(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '), true);
}

// The eleven field boxes the record routines handle, in their order.
inline QList<QLineEdit *> elevenBoxes(FrmWork &w)
{
    return {w.fname, w.lname,     w.company,   w.address,     w.city, w.statetext,
            w.zip,   w.homephone, w.workphone, w.pagermobile, w.fax};
}

// The eleven and the ID box.
inline QList<QLineEdit *> twelveBoxes(FrmWork &w)
{
    QList<QLineEdit *> boxes = elevenBoxes(w);
    boxes.insert(7, w.ID);
    return boxes;
}

} // namespace cardomine::testing
