// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/focusreturn.h"

#include <QApplication>
#include <QGuiApplication>

namespace cardomine::platform {

FocusReturn::FocusReturn(QWidget *owner)
    : m_window(owner != nullptr ? owner->window() : QApplication::activeWindow())
{}

FocusReturn::~FocusReturn()
{
    // Only X loses the focus so; on Wayland the compositor alone decides where it
    // goes. Not asked for where the window has it already. (Right after a box has
    // closed no window of the program has it yet: a window manager that gives it back
    // by itself gets a request for what it does anyway.)
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    if (m_window != nullptr && m_window->isVisible() && QApplication::activeWindow() != m_window)
        m_window->activateWindow();
}

} // namespace cardomine::platform
