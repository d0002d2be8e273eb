#include "assets/assets.h"

#include <QPainter>
#include <QSvgRenderer>

namespace cardomine::assets {

QString windowIconPath()
{
    return QStringLiteral(":/artwork/windowicon.svg");
}

QString optionsIconPath()
{
    return QStringLiteral(":/artwork/options.svg");
}

QString stopIconPath()
{
    return QStringLiteral(":/artwork/stop.svg");
}

QString fanFoldPath()
{
    return QStringLiteral(":/artwork/fanfold.svg");
}

QPixmap render(const QString &path, QSize logicalSize, double devicePixelRatio)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || logicalSize.isEmpty())
        return {};
    QPixmap pixmap(logicalSize * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixmap.size())));
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon icon(const QString &path)
{
    QIcon result;
    for (const int side : {16, 32, 64}) {
        const QPixmap pixmap = render(path, QSize(side, side));
        if (!pixmap.isNull())
            result.addPixmap(pixmap);
    }
    return result;
}

QIcon windowIcon()
{
    return icon(windowIconPath());
}

} // namespace cardomine::assets
