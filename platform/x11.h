// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <QPoint>

#include <optional>

class QWidget;
struct xcb_connection_t;

// The few X11 calls the user-interface services make themselves, where Qt's own view
// of a window lags behind the X server's. Each returns nothing (or false) when the
// program does not run on X11.
namespace cardomine::platform::x11 {

// The program's connection to the X server, or nullptr.
xcb_connection_t *connection();

// The frame the window manager says it draws around the window (_NET_FRAME_EXTENTS,
// in logical pixels), once it manages the window.
std::optional<QMargins> frameExtents(const QWidget *window);

// Asks for the window's client area at topLeft (logical pixels, global), whatever Qt
// believes the window's place to be.
bool moveWindow(QWidget *window, QPoint topLeft);

} // namespace cardomine::platform::x11
