// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/assets.h"
#include "mainwindow/frmwork.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
#include "platform/scriptedmessages.h"
#include "startup/frmsplash.h"
#include "startup/programstart.h"
#include "startup/splashsequence.h"
#include "tests/support/tempdrive.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace cardomine;

namespace {

QRect px(int left, int top, int width, int height)
{
    return platform::twipsRect(left, top, width, height);
}

// The value a progress bar showed at each of its paints.
class PaintedValues : public QObject
{
public:
    explicit PaintedValues(QProgressBar *bar) { bar->installEventFilter(this); }
    QList<int> values;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            values.append(static_cast<QProgressBar *>(watched)->value());
        return false;
    }
};

QList<QWidget *> visibleWindows()
{
    QList<QWidget *> visible;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible())
            visible.append(window);
    }
    return visible;
}

// The program's window of that name, or nullptr when none has been made.
QWidget *madeWindow(const QString &name)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == name)
            return window;
    }
    return nullptr;
}

QWidget *madeSplash()
{
    return madeWindow(u"frmSplash"_s);
}

// Notes whether the splash was still visible each time the main window was shown.
class ShowWatcher : public QObject
{
public:
    explicit ShowWatcher(Program &program)
        : m_program(program)
    {}
    QList<bool> splashVisibleAtShow;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            splashVisibleAtShow.append(madeSplash() && m_program.frmSplash().isVisible());
        return false;
    }

private:
    Program &m_program;
};

} // namespace

class TestProgramStart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { platform::fonts::loadBundledFonts(); }

    // Every test runs the real start, so it gets its own drive root and scripted boxes.
    void init()
    {
        m_drive = std::make_unique<testing::TempDrive>();
        QVERIFY(m_drive->isValid());
        m_messages.clear();
        platform::setMessageService(&m_messages);
    }
    void cleanup()
    {
        platform::setMessageService(nullptr);
        QVERIFY2(m_messages.unexpected().isEmpty(),
                 qPrintable(m_messages.unexpected().join(u'\n')));
        m_drive.reset();
    }

    void splashLayout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<int>("alignment");
        QTest::newRow("Label1") << u"Label1"_s << px(1680, 720, 4095, 255)
                                << u"Please Wait While The Program Loads. . ."_s << u"Tahoma"_s
                                << 9.75 << int(Qt::AlignLeft);
        QTest::newRow("Label2") << u"Label2"_s << px(1920, 120, 3735, 375) << u"Archivane"_s
                                << u"Tahoma"_s << 14.25 << int(Qt::AlignHCenter);
        QTest::newRow("Label3") << u"Label3"_s << px(6000, 120, 1215, 255) << u"Version 1.0"_s
                                << u"Tahoma"_s << 9.75 << int(Qt::AlignLeft);
        QTest::newRow("Label4") << u"Label4"_s << px(4440, 1800, 2895, 375) << u"Windows 95/98/ME"_s
                                << u"Arial"_s << 15.75 << int(Qt::AlignLeft);
        QTest::newRow("Label5") << u"Label5"_s << px(6000, 360, 1215, 375) << QString()
                                << u"Tahoma"_s << 8.25 << int(Qt::AlignRight);
    }
    void splashLayout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(int, alignment);
        FrmSplash splash;
        auto *label = splash.findChild<QLabel *>(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->geometry(), geometry);
        if (!text.isEmpty())
            QCOMPARE(label->text(), text);
        QVERIFY(!label->text().isEmpty());
        QCOMPARE(label->font().family(), family);
        QCOMPARE(label->font().pointSizeF(), points);
        QCOMPARE(label->font().weight(), QFont::Bold);
        QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), alignment);
        if (platform::fonts::loadBundledFonts() > 0 && family == u"Tahoma"_s) {
            const QRect needed = label->fontMetrics().boundingRect(
                QRect(0, 0, label->width(), 1000), int(label->alignment()) | Qt::TextWordWrap,
                label->text());
            QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                     qPrintable(u"needs %1x%2"_s.arg(needed.width()).arg(needed.height())));
        }
    }

    void splashWindow()
    {
        FrmSplash splash;
        QCOMPARE(splash.objectName(), u"frmSplash"_s);
        QCOMPARE(splash.windowTitle(), u"Archivane 1.0"_s);
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash.size(), QSize(492, 283));
        QCOMPARE(splash.cursor().shape(), Qt::WaitCursor);
        QCOMPARE(splash.ProgressBar1->geometry(), px(1680, 1080, 4095, 495));
        QCOMPARE(splash.ProgressBar1->minimum(), 0);
        QCOMPARE(splash.ProgressBar1->maximum(), 90000);
        QCOMPARE(splash.ProgressBar1->value(), 0);
        // The picture lies behind everything and reaches past the left and bottom edges.
        QCOMPARE(splash.Image1->geometry(), QRect(-120, 0, 591, 402));
        QVERIFY(!splash.Image1->pixmap().isNull());
        // The build drew the picture ahead at this size.
        QVERIFY(!assets::drawnAtBuild(assets::fanFoldPath(), splash.Image1->size()).isNull());
        QCOMPARE(splash.children().indexOf(splash.Image1), 0);
        QVERIFY(splash.Image1->geometry().left() < 0);
        QVERIFY(splash.Image1->geometry().bottom() > splash.height());
    }

    // The count takes the bar through 35013 values with eight jumps. The bar shows the
    // count at each jump and moves on as smoothly, and is painted no more often, as a
    // bar given every value one by one.
    void splashLoadCounts_data()
    {
        QTest::addColumn<QString>("style");
        QTest::newRow("classic style, the program's own") << u"Windows"_s;
        QTest::newRow("a style the user chose") << u"Fusion"_s;
    }
    void splashLoadCounts()
    {
        QFETCH(QString, style);
        QApplication::setStyle(style);
        FrmSplash reference;
        reference.show();
        QCoreApplication::processEvents();
        PaintedValues expected(reference.ProgressBar1);
        int counted = 0;
        runSplashSequence(
            [&](std::int32_t value) {
                ++counted;
                reference.ProgressBar1->setValue(value);
            },
            [&] { reference.repaint(); });
        reference.hide();
        QCOMPARE(counted, 35013);
        QVERIFY2(expected.values.size() > 16, qPrintable(QString::number(expected.values.size())));

        FrmSplash splash;
        PaintedValues painted(splash.ProgressBar1);
        bool hiddenWhenMainShown = false;
        int mainShown = 0;
        splash.load([&] {
            ++mainShown;
            hiddenWhenMainShown = splash.isHidden();
        });
        // The load shows the window first; its first paint is of the empty bar.
        QCOMPARE(painted.values.value(0), 0);
        QCOMPARE(painted.values.last(), 90000);
        QCOMPARE(splash.ProgressBar1->value(), 90000);
        QCOMPARE(splash.jumpRepaints(), 8);
        QVERIFY2(painted.values.size() <= expected.values.size() + 1,
                 qPrintable(QString::number(painted.values.size())));
        const QList<std::pair<int, int>> skipped{{11468, 25330}, {32732, 43299}, {46565, 51988},
                                                 {64212, 73769}, {74145, 87646}, {87898, 88878},
                                                 {88888, 89970}, {1, 24}};
        for (int value : std::as_const(painted.values)) {
            for (const auto &[after, landing] : skipped)
                QVERIFY2(value <= after || value >= landing, qPrintable(QString::number(value)));
        }
        // Each jump repaints the bar at the value the count left before it.
        for (const auto &[after, landing] : skipped)
            QVERIFY2(painted.values.contains(after), qPrintable(QString::number(after)));
        // Between jumps the bar moves on in steps at most two pixels of its length
        // larger than the reference bar's.
        const auto largestStep = [&](const QList<int> &values) {
            int largest = 0;
            for (qsizetype i = 1; i < values.size(); ++i) {
                const bool leapt = std::any_of(skipped.cbegin(), skipped.cend(), [&](auto s) {
                    return values[i - 1] <= s.first && values[i] >= s.second;
                });
                if (!leapt)
                    largest = std::max(largest, values[i] - values[i - 1]);
            }
            return largest;
        };
        const int pixel = 90000 / splash.ProgressBar1->width() + 1;
        QVERIFY2(largestStep(painted.values) <= largestStep(expected.values) + 2 * pixel,
                 qPrintable(QString::number(largestStep(painted.values))));
        QCOMPARE(mainShown, 1);
        QVERIFY(hiddenWhenMainShown);
        QVERIFY(splash.isHidden());
        const QSize screen = splash.screen()->geometry().size();
        QCOMPARE(splash.pos(), platform::centredTopLeft(screen, splash.frameGeometry().size()));
    }

    // The picture drawn ahead on another thread is the one the splash draws itself.
    void splashPictureDrawnAheadIsTheSame()
    {
        const FrmSplash drawnItself;
        FrmSplash::prepareArtwork();
        const FrmSplash drawnAhead;
        const QImage own = drawnItself.Image1->pixmap().toImage();
        QVERIFY(!own.isNull());
        QCOMPARE(own.size(), px(-1800, 0, 8865, 6030).size());
        QCOMPARE(drawnAhead.Image1->pixmap().toImage().convertToFormat(own.format()), own);
    }

    void startShowsOnlyTheMainWindow()
    {
        QVERIFY(visibleWindows().isEmpty());
        Program program;
        ShowWatcher watcher(program);
        program.frmWork().installEventFilter(&watcher);
        QVERIFY(!madeSplash());
        QVERIFY(program.start());
        // The load ran: the first run's boxes were shown after the About boxes.
        QCOMPARE(m_messages.shown().size(), 4);

        QVERIFY(madeSplash());
        FrmSplash &splash = program.frmSplash();
        QCOMPARE(splash.ProgressBar1->value(), 90000);
        QVERIFY(splash.isHidden());
        QCOMPARE(visibleWindows(), QList<QWidget *>{&program.frmWork()});
        QCOMPARE(program.frmWork().statusText(), u"Ready.  Option Selected: View"_s);
        // The main window was shown once, after the splash had gone.
        QCOMPARE(watcher.splashVisibleAtShow, QList<bool>{false});
        // Referring to the windows again makes no new ones.
        QCOMPARE(&program.frmSplash(), &splash);
        QCOMPARE(splash.jumpRepaints(), 8);
    }

    void closingTheMainWindowClosesTheSplash()
    {
        Program program;
        QVERIFY(program.start());
        m_messages.queueAnswer(platform::MessageAnswer::Yes);
        QVERIFY(program.frmWork().close());
        QVERIFY(visibleWindows().isEmpty());
        QVERIFY(!program.frmSplash().isVisible());
        QVERIFY(madeSplash());
    }

    // Nothing of a program outlives it: its windows go with it.
    void noProgramAfterItEnds()
    {
        {
            Program program;
            QVERIFY(program.start());
            QVERIFY(madeSplash());
        }
        QVERIFY(!madeSplash());
        QVERIFY(!madeWindow(u"frmWork"_s));
    }

private:
    std::unique_ptr<testing::TempDrive> m_drive;
    platform::ScriptedMessageService m_messages;
};

QTEST_MAIN(TestProgramStart)
#include "tst_programstart.moc"
