#include "platform/geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace cardomine::platform {

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

QPoint centredTopLeft(QSize screenPixels, QSize windowPixels)
{
    // Computed in twips as real numbers, then placed on the nearest pixel.
    const double left =
        (double(pixelsToTwips(screenPixels.width())) - pixelsToTwips(windowPixels.width())) / 2.0;
    const double top =
        (double(pixelsToTwips(screenPixels.height())) - pixelsToTwips(windowPixels.height())) / 2.0;
    return QPoint(int(std::lround(left / TwipsPerPixel)), int(std::lround(top / TwipsPerPixel)));
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    // The window's outer size, its frame included once it has one.
    window->move(centredTopLeft(screen->geometry().size(), window->frameGeometry().size()));
}

} // namespace cardomine::platform
