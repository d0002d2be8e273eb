// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Window and control geometry is given in twips (1/1440 inch): 15 twips are one
// logical pixel at 96 dots per inch; Qt's high-DPI scaling does the rest.
namespace cardomine::platform {

constexpr int TwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    // Round half away from zero so negative positions mirror positive ones.
    return twips >= 0 ? (twips + TwipsPerPixel / 2) / TwipsPerPixel
                      : -((-twips + TwipsPerPixel / 2) / TwipsPerPixel);
}
constexpr int pixelsToTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}

QRect twipsRect(int left, int top, int width, int height);
QSize twipsSize(int width, int height);

// Places a control at a twips rectangle of its parent's client area.
void placeTwips(QWidget *widget, int left, int top, int width, int height);

// The centring rule of the program's windows: left = (screen width - window width) / 2,
// top = (screen height - window height) / 2, in twips, divided as real numbers. The
// window is placed there as computed, negative coordinates included.
// Every window is centred whole, its frame included. Before the window system has
// framed a window its frame is not known: the frame last seen on one of the program's
// framed windows stands in for it, and once the real frame is known the window is
// placed again with it.
QPoint centredTopLeft(QSize screenPixels, QSize windowPixels);
void centreOnScreen(QWidget *window);
// Centres the window, frame included, on an area in global coordinates (an owner
// window's frame, say).
void centreOn(QWidget *window, const QRect &area);

// The frame the window system draws around the window: its own once known, else the
// one last seen on a framed window of the program (none for a frameless window).
QMargins expectedFrameMargins(const QWidget *window);
// Forgets the frame last seen, as at the program's start.
void forgetSeenFrame();

} // namespace cardomine::platform
