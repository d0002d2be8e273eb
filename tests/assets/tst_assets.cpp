// SPDX-License-Identifier: GPL-3.0-or-later
// The artwork drawn ahead on other threads is the artwork drawn in place.

#include "assets/assets.h"
#include "assets/svgdrawing.h"

#include <QGuiApplication>
#include <QTest>

using namespace cardomine;

class TestAssets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawings_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("window icon") << assets::windowIconPath();
        QTest::newRow("options") << assets::optionsIconPath();
        QTest::newRow("stop") << assets::stopIconPath();
        QTest::newRow("fan-fold") << assets::fanFoldPath();
    }
    void drawings()
    {
        QFETCH(QString, path);
        for (const double ratio : {1.0, 2.0}) {
            const QImage inPlace = assets::render(path, QSize(40, 30), ratio).toImage();
            QVERIFY(!inPlace.isNull());
            QCOMPARE(inPlace.size(), QSize(40, 30) * ratio);
            QCOMPARE(inPlace.devicePixelRatio(), ratio);
            // Not blank: some pixel is drawn.
            QVERIFY(inPlace.convertToFormat(QImage::Format_ARGB32) !=
                    QImage(inPlace.size(), QImage::Format_ARGB32));
            const QImage ahead = assets::renderInBackground(path, QSize(40, 30), ratio).get();
            QCOMPARE(ahead.convertToFormat(inPlace.format()), inPlace);
        }
        QVERIFY(assets::render(u":/artwork/missing.svg"_qs, QSize(16, 16)).isNull());
    }

    // The picture the build drew ahead is the drawing, pixel for pixel; other sizes
    // and ratios are not kept.
    void drawnAtBuild()
    {
        const QString path = assets::fanFoldPath();
        const QSize splashPicture(591, 402);
        const QImage kept = assets::drawnAtBuild(path, splashPicture);
        QVERIFY(!kept.isNull());
        QCOMPARE(kept, assets::drawSvg(path, splashPicture, 1.0));
        QCOMPARE(assets::render(path, splashPicture).toImage().convertToFormat(kept.format()),
                 kept);
        QVERIFY(assets::drawnAtBuild(path, splashPicture, 2.0).isNull());
        QVERIFY(assets::drawnAtBuild(path, QSize(590, 402)).isNull());
        QVERIFY(assets::drawnAtBuild(assets::stopIconPath(), splashPicture).isNull());
    }

    // No test before this one makes an icon, so the icons come from the
    // drawings prepared on the other thread.
    void iconsDrawnAhead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("window icon") << assets::windowIconPath();
        QTest::newRow("options") << assets::optionsIconPath();
        QTest::newRow("stop") << assets::stopIconPath();
    }
    void iconsDrawnAhead()
    {
        QFETCH(QString, path);
        assets::prepareIcons();
        const QIcon icon = assets::icon(path);
        for (const int side : {16, 32, 64}) {
            const QImage expected = assets::render(path, QSize(side, side)).toImage();
            QCOMPARE(icon.pixmap(side).toImage().convertToFormat(expected.format()), expected);
        }
        QCOMPARE(assets::icon(path).cacheKey(), icon.cacheKey());
    }
};

QTEST_MAIN(TestAssets)
#include "tst_assets.moc"
