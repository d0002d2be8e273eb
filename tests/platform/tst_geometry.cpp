// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

using namespace cardomine::platform;

class TestGeometry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twipsToPixelsRounds_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("one pixel") << 15 << 1;
        QTest::newRow("just under half") << 7 << 0;
        QTest::newRow("half rounds up") << 8 << 1;
        QTest::newRow("negative under half") << -7 << 0;
        QTest::newRow("negative half rounds away") << -8 << -1;
        QTest::newRow("splash picture left") << -1800 << -120;
        QTest::newRow("main window width") << 9015 << 601;
        QTest::newRow("main window height") << 5715 << 381;
        QTest::newRow("splash width") << 7380 << 492;
        QTest::newRow("status panel") << 8400 << 560;
        QTest::newRow("between pixels") << 22 << 1;
        QTest::newRow("between pixels up") << 23 << 2;
    }
    void twipsToPixelsRounds()
    {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QCOMPARE(twipsToPixels(twips), pixels);
        QCOMPARE(twipsToPixels(-twips), -pixels);
    }

    void rectanglesAndPlacement()
    {
        QCOMPARE(twipsRect(-1800, 0, 8865, 6030), QRect(-120, 0, 591, 402));
        QCOMPARE(twipsSize(9015, 5715), QSize(601, 381));
        QWidget parent;
        auto *child = new QWidget(&parent);
        placeTwips(child, 1200, 960, 2295, 285);
        QCOMPARE(child->geometry(), QRect(80, 64, 153, 19));
    }

    void centring_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("main window on 1280x1024")
            << QSize(1280, 1024) << QSize(601, 381) << QPoint(340, 322);
        QTest::newRow("splash on 1024x768")
            << QSize(1024, 768) << QSize(492, 283) << QPoint(266, 243);
        QTest::newRow("same size") << QSize(640, 480) << QSize(640, 480) << QPoint(0, 0);
        QTest::newRow("screen narrower than window")
            << QSize(400, 300) << QSize(492, 283) << QPoint(-46, 9);
        QTest::newRow("screen smaller both ways")
            << QSize(320, 200) << QSize(601, 381) << QPoint(-141, -91);
    }
    void centring()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        QFETCH(QPoint, topLeft);
        QCOMPARE(centredTopLeft(screen, window), topLeft);
    }

    void centreOnScreenMovesTheWindow()
    {
        QWidget window;
        window.setFixedSize(492, 283);
        centreOnScreen(&window);
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QCOMPARE(window.pos(), centredTopLeft(screen, QSize(492, 283)));
        QVERIFY(window.pos() != QPoint(0, 0));
    }

    // Windows are centred whole, frame included: a window not yet framed takes the
    // frame last seen on another window, a framed window its own.
    void centringIncludesTheFrame_data()
    {
        QTest::addColumn<bool>("shownFirst");
        QTest::newRow("before it is shown") << false;
        QTest::newRow("once it is framed") << true;
    }
    void centringIncludesTheFrame()
    {
        QFETCH(bool, shownFirst);
        QWidget other;
        other.resize(200, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QVERIFY2(!expectedFrameMargins(&other).isNull(), "the platform draws no frame");
        other.hide();

        QWidget window;
        window.setFixedSize(601, 381);
        if (shownFirst) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        centreOnScreen(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        QTRY_VERIFY2((window.frameGeometry().center() - centre).manhattanLength() <= 2,
                     qPrintable(QStringLiteral("frame %1,%2 %3x%4 screen %5,%6")
                                    .arg(window.frameGeometry().x())
                                    .arg(window.frameGeometry().y())
                                    .arg(window.frameGeometry().width())
                                    .arg(window.frameGeometry().height())
                                    .arg(centre.x())
                                    .arg(centre.y())));
        QVERIFY(window.frameGeometry() != window.geometry());
    }
};

QTEST_MAIN(TestGeometry)
#include "tst_geometry.moc"
