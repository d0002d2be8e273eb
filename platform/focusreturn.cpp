#include "platform/focusreturn.h"

#include <QApplication>

namespace cardomine::platform {

FocusReturn::FocusReturn(QWidget *owner)
    : m_window(owner != nullptr ? owner->window() : QApplication::activeWindow())
{}

FocusReturn::~FocusReturn()
{
    // Not asked for where the window has the focus already. (Right after a box has
    // closed no window of the program has it yet: a window manager that gives it back
    // by itself gets a request for what it does anyway.)
    if (m_window != nullptr && m_window->isVisible() && QApplication::activeWindow() != m_window)
        m_window->activateWindow();
}

} // namespace cardomine::platform
