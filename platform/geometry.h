#pragma once

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
QPoint centredTopLeft(QSize screenPixels, QSize windowPixels);
void centreOnScreen(QWidget *window);

} // namespace cardomine::platform
