// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <future>

// The program's artwork, drawn as SVG and compiled into the program.
namespace cardomine::assets {

// Resource paths of the drawings.
QString windowIconPath();  // display screen with a green grid and a white wave
QString optionsIconPath(); // yellow folder with a hammer and a screwdriver
QString stopIconPath();    // red octagon bearing the white word STOP
QString fanFoldPath();     // the splash's fan-fold paper

// A drawing rendered at a logical size for a screen's device pixel ratio (as the build
// drew it, where it did); a null pixmap when the drawing cannot be read.
QPixmap render(const QString &path, QSize logicalSize, double devicePixelRatio = 1.0);

// The drawing as the build drew it ahead, at ratio 1 and the sizes it keeps (the
// splash's picture); a null image for any other.
QImage drawnAtBuild(const QString &path, QSize logicalSize, double devicePixelRatio = 1.0);

// render() as an image, drawn on another thread: for a picture a window needs later
// in the start, drawn meanwhile on another core (a picture the build drew is only
// copied there). get() waits for it.
std::shared_future<QImage> renderInBackground(const QString &path, QSize logicalSize,
                                              double devicePixelRatio = 1.0);

// Icons rendered at 16 and 32 pixels (and twice that for high-DPI screens).
QIcon icon(const QString &path);
// Starts drawing the program's icons on another thread, for the windows built next.
void prepareIcons();
// Forgets the icons made or being drawn, as at the program's start.
void forgetIcons();
QIcon windowIcon();

} // namespace cardomine::assets
