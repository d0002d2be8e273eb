#include "assets/assets.h"

#include <QCoreApplication>
#include <QHash>
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

namespace {

QPixmap renderWith(QSvgRenderer &renderer, QSize logicalSize, double devicePixelRatio)
{
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

// Icons made so far, by drawing. The splash and every window ask for the same few;
// they go with the application object, before the pixmaps' window system does.
QHash<QString, QIcon> &madeIcons()
{
    static QHash<QString, QIcon> icons;
    static const bool registered = [] {
        qAddPostRoutine([] { madeIcons().clear(); });
        return true;
    }();
    Q_UNUSED(registered);
    return icons;
}

} // namespace

std::shared_future<QImage> renderInBackground(const QString &path, QSize logicalSize,
                                              double devicePixelRatio)
{
    // Drawing into an image is safe on any thread; a pixmap is not.
    return std::async(std::launch::async,
                      [path, logicalSize, devicePixelRatio] {
                          QSvgRenderer renderer(path);
                          if (!renderer.isValid() || logicalSize.isEmpty())
                              return QImage();
                          QImage image(logicalSize * devicePixelRatio,
                                       QImage::Format_ARGB32_Premultiplied);
                          image.fill(Qt::transparent);
                          {
                              QPainter painter(&image);
                              painter.setRenderHint(QPainter::Antialiasing);
                              renderer.render(&painter,
                                              QRectF(QPointF(0, 0), QSizeF(image.size())));
                          }
                          image.setDevicePixelRatio(devicePixelRatio);
                          return image;
                      })
        .share();
}

QPixmap render(const QString &path, QSize logicalSize, double devicePixelRatio)
{
    QSvgRenderer renderer(path);
    return renderWith(renderer, logicalSize, devicePixelRatio);
}

QIcon icon(const QString &path)
{
    QHash<QString, QIcon> &icons = madeIcons();
    if (const auto found = icons.constFind(path); found != icons.cend())
        return *found;
    // The drawing is read once for all sizes.
    QSvgRenderer renderer(path);
    QIcon result;
    for (const int side : {16, 32, 64}) {
        const QPixmap pixmap = renderWith(renderer, QSize(side, side), 1.0);
        if (!pixmap.isNull())
            result.addPixmap(pixmap);
    }
    icons.insert(path, result);
    return result;
}

QIcon windowIcon()
{
    return icon(windowIconPath());
}

} // namespace cardomine::assets
