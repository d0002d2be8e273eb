// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QSvgRenderer;

// Draws SVG drawings into images. The program draws its artwork with it, and so does
// the build, ahead, for the pictures it keeps drawn (see assets.h): both give the same
// pixels. Safe on any thread.
namespace cardomine::assets {

// The drawing at a logical size for a screen's device pixel ratio, as premultiplied
// ARGB32; a null image when the drawing cannot be read.
QImage drawSvg(QSvgRenderer &renderer, QSize logicalSize, double devicePixelRatio);
QImage drawSvg(const QString &path, QSize logicalSize, double devicePixelRatio);

} // namespace cardomine::assets
