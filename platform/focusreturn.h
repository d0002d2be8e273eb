// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

namespace cardomine::platform {

// Hands the focus back to a box's owner once the modal box or dialog shown in this
// scope has closed. A window manager does that for the window a box belongs to; with
// none, the X server gives the focus to the root window and every key is lost until
// the user clicks the window again.
class FocusReturn
{
public:
    // The owner is the window the box belongs to; without one, the window that has the
    // focus now.
    explicit FocusReturn(QWidget *owner = nullptr);
    ~FocusReturn();

    FocusReturn(const FocusReturn &) = delete;
    FocusReturn &operator=(const FocusReturn &) = delete;

private:
    QPointer<QWidget> m_window;
};

} // namespace cardomine::platform
