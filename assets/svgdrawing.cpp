// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/svgdrawing.h"

#include <QPainter>
#include <QSvgRenderer>

namespace cardomine::assets {

QImage drawSvg(QSvgRenderer &renderer, QSize logicalSize, double devicePixelRatio)
{
    if (!renderer.isValid() || logicalSize.isEmpty())
        return {};
    QImage image(logicalSize * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QImage drawSvg(const QString &path, QSize logicalSize, double devicePixelRatio)
{
    QSvgRenderer renderer(path);
    return drawSvg(renderer, logicalSize, devicePixelRatio);
}

} // namespace cardomine::assets
