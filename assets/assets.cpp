// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/assets.h"

#include "assets/svgdrawing.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QResource>
#include <QSvgRenderer>

#include <cstring>

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

constexpr int IconSides[] = {16, 32, 64};

// An icon's sizes, drawn from one reading of the drawing.
QList<QImage> renderIconImages(const QString &path)
{
    QSvgRenderer renderer(path);
    QList<QImage> images;
    for (const int side : IconSides)
        images.append(drawSvg(renderer, QSize(side, side), 1.0));
    return images;
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

std::shared_future<QHash<QString, QList<QImage>>> &preparedIcons()
{
    static std::shared_future<QHash<QString, QList<QImage>>> prepared;
    return prepared;
}

} // namespace

QImage drawnAtBuild(const QString &path, QSize logicalSize, double devicePixelRatio)
{
    if (devicePixelRatio != 1.0 || logicalSize.isEmpty())
        return {};
    const QString name = QStringLiteral(":/artwork/drawn/%1-%2x%3.argb32")
                             .arg(QFileInfo(path).completeBaseName())
                             .arg(logicalSize.width())
                             .arg(logicalSize.height());
    const QResource kept(name);
    QImage image(logicalSize, QImage::Format_ARGB32_Premultiplied);
    const qsizetype rowBytes = qsizetype(logicalSize.width()) * 4;
    if (!kept.isValid() || kept.compressionAlgorithm() != QResource::NoCompression ||
        kept.size() != rowBytes * logicalSize.height() || image.isNull())
        return {};
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), kept.data() + rowBytes * y, std::size_t(rowBytes));
    return image;
}

std::shared_future<QImage> renderInBackground(const QString &path, QSize logicalSize,
                                              double devicePixelRatio)
{
    return std::async(std::launch::async,
                      [path, logicalSize, devicePixelRatio] {
                          QImage kept = drawnAtBuild(path, logicalSize, devicePixelRatio);
                          return kept.isNull() ? drawSvg(path, logicalSize, devicePixelRatio)
                                               : kept;
                      })
        .share();
}

QPixmap render(const QString &path, QSize logicalSize, double devicePixelRatio)
{
    QImage kept = drawnAtBuild(path, logicalSize, devicePixelRatio);
    return QPixmap::fromImage(kept.isNull() ? drawSvg(path, logicalSize, devicePixelRatio)
                                            : std::move(kept));
}

void prepareIcons()
{
    if (preparedIcons().valid() || !madeIcons().isEmpty())
        return;
    preparedIcons() =
        std::async(std::launch::async, [] {
            QHash<QString, QList<QImage>> images;
            for (const QString &path : {windowIconPath(), optionsIconPath(), stopIconPath()})
                images.insert(path, renderIconImages(path));
            return images;
        }).share();
}

void forgetIcons()
{
    preparedIcons() = {};
    madeIcons().clear();
}

QIcon icon(const QString &path)
{
    QHash<QString, QIcon> &icons = madeIcons();
    if (const auto found = icons.constFind(path); found != icons.cend())
        return *found;
    QList<QImage> images;
    if (preparedIcons().valid())
        images = preparedIcons().get().value(path);
    if (images.isEmpty())
        images = renderIconImages(path);
    QIcon result;
    for (const QImage &image : std::as_const(images)) {
        if (!image.isNull())
            result.addPixmap(QPixmap::fromImage(image));
    }
    icons.insert(path, result);
    return result;
}

QIcon windowIcon()
{
    return icon(windowIconPath());
}

} // namespace cardomine::assets
