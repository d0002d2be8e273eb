// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPoint>

#include <functional>

class QWidget;

// A window's backdrop: a picture the window system itself keeps and paints the window
// from whenever it shows it, without asking the program. A window that is mapped while
// the program is too busy to answer (the splash during its count) is thus already
// painted when it first reaches the screen, and stays painted.
//
// On X11 the backdrop is the window's background pixmap. Elsewhere there is none and
// the calls return false.
namespace cardomine::platform {

// Makes picture() (in device pixels, the window's size) the window's backdrop,
// creating the native window if needed; may be called before the window is shown.
// The picture is drawn only where the window system can keep it. Returns whether it
// keeps it.
bool setWindowBackdrop(QWidget *window, const std::function<QImage()> &picture);

// Replaces the part of the backdrop at topLeft (device pixels) with image, and has
// the window system repaint that part from it at once.
bool updateWindowBackdrop(QWidget *window, const QImage &image, QPoint topLeft);

} // namespace cardomine::platform
