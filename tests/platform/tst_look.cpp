// SPDX-License-Identifier: GPL-3.0-or-later
// The classic look: its colours, unless the user chose a style, the two controls it
// draws its own way (a block progress bar, a fixed scroll thumb), and its text.
#include "platform/classicstyle.h"
#include "platform/fonts.h"
#include "platform/look.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QTest>

using namespace cardomine::platform;

class TestLook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void palette_data();
    void palette();
    void progressBarFillsInBlocks();
    void scrollBarThumb_data();
    void scrollBarThumb();
    void noGapsInsideWords_data();
    void noGapsInsideWords();
};

void TestLook::palette_data()
{
    QTest::addColumn<bool>("userChose");
    QTest::addColumn<QPalette::ColorRole>("role");
    QTest::addColumn<QString>("colour");
    QTest::newRow("face") << false << QPalette::Button << QStringLiteral("#c0c0c0");
    QTest::newRow("window") << false << QPalette::Window << QStringLiteral("#c0c0c0");
    QTest::newRow("shadow") << false << QPalette::Dark << QStringLiteral("#808080");
    QTest::newRow("selection") << false << QPalette::Highlight << QStringLiteral("#000080");
    QTest::newRow("selected text")
        << false << QPalette::HighlightedText << QStringLiteral("#ffffff");
    // A style the user chose keeps the palette it had: not navy.
    QTest::newRow("user's style") << true << QPalette::Highlight << QString();
}

void TestLook::palette()
{
    QFETCH(bool, userChose);
    QFETCH(QPalette::ColorRole, role);
    QFETCH(QString, colour);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette before = QApplication::palette();
    look::applyClassicLook(userChose);
    const QString now = QApplication::palette().color(QPalette::Active, role).name();
    if (userChose)
        QCOMPARE(now, before.color(QPalette::Active, role).name());
    else
        QCOMPARE(now, colour);
}

void TestLook::progressBarFillsInBlocks()
{
    ClassicStyle style;
    QProgressBar bar;
    bar.setStyle(&style);
    bar.setPalette(look::classicPalette());
    bar.setTextVisible(false);
    bar.setRange(0, 90000);
    bar.setValue(45000);
    bar.resize(273, 33);
    const QImage image = bar.grab().toImage();
    const QRgb navy = qRgb(0, 0, 0x80);
    // Along the middle row: navy blocks with gaps between them, up to half the bar.
    int blocks = 0;
    int lastNavy = -1;
    bool inBlock = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool isNavy = image.pixel(x, image.height() / 2) == navy;
        if (isNavy && !inBlock)
            ++blocks;
        if (isNavy)
            lastNavy = x;
        inBlock = isNavy;
    }
    QVERIFY2(blocks >= 5, qPrintable(QString::number(blocks)));
    QVERIFY2(qAbs(lastNavy - image.width() / 2) <= 4, qPrintable(QString::number(lastNavy)));
}

void TestLook::scrollBarThumb_data()
{
    QTest::addColumn<int>("maximum");
    QTest::newRow("one record") << 1;
    QTest::newRow("three records") << 3;
    QTest::newRow("32767 records") << 32767;
}

void TestLook::scrollBarThumb()
{
    QFETCH(int, maximum);
    ClassicStyle style;
    QWidget window;
    auto *bar = new QScrollBar(Qt::Horizontal, &window);
    bar->setStyle(&style);
    bar->setGeometry(0, 0, 241, 17);
    bar->setRange(1, maximum);
    bar->setPageStep(3);
    bar->setValue(maximum);
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.state |= QStyle::State_Horizontal;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = option.sliderValue = bar->value();
    option.pageStep = bar->pageStep();
    option.singleStep = bar->singleStep();
    const QRect groove =
        style.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, bar);
    const QRect thumb =
        style.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    // A square thumb, at the far end for the last record (with one record, the first).
    QCOMPARE(thumb.size(), QSize(17, 17));
    if (maximum > 1)
        QCOMPARE(thumb.right(), groove.right());
    else
        QCOMPARE(thumb.left(), groove.left());
    // The pages fill the groove beside it.
    const QRect before =
        style.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSubPage, bar);
    QCOMPARE(before.left(), groove.left());
    QCOMPARE(before.right() + 1, thumb.left());

    // A scrolled box keeps its proportional thumb: a short text gives a long one.
    QPlainTextEdit notes;
    notes.setStyle(&style);
    notes.resize(200, 120);
    notes.setPlainText(QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10"));
    notes.show();
    QVERIFY(QTest::qWaitForWindowExposed(&notes));
    QScrollBar *own = notes.verticalScrollBar();
    QStyleOptionSlider ownOption;
    ownOption.initFrom(own);
    ownOption.orientation = Qt::Vertical;
    ownOption.minimum = own->minimum();
    ownOption.maximum = own->maximum();
    ownOption.pageStep = own->pageStep();
    ownOption.sliderPosition = ownOption.sliderValue = own->value();
    const QRect ownThumb =
        style.subControlRect(QStyle::CC_ScrollBar, &ownOption, QStyle::SC_ScrollBarSlider, own);
    QVERIFY2(ownThumb.height() > own->width() * 2,
             qPrintable(QStringLiteral("%1 x %2").arg(ownThumb.width()).arg(ownThumb.height())));
}

void TestLook::noGapsInsideWords_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("bold");
    // Words seen drawn with a gap inside them, in the window's bold and the boxes' font.
    for (const char *word : {"Name", "Cardomine", "Pelvarin", "Customer", "Mobile", "Option"}) {
        QTest::addRow("%s, bold", word) << QString::fromLatin1(word) << true;
        QTest::addRow("%s, regular", word) << QString::fromLatin1(word) << false;
    }
}

// At 1x, Tahoma's letters are one pixel apart, never two: the advances match the
// glyphs drawn.
void TestLook::noGapsInsideWords()
{
    QFETCH(QString, word);
    QFETCH(bool, bold);
    if (fonts::loadBundledFonts() == 0)
        QSKIP("Tahoma is not installed here");
    QImage image(160, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(fonts::tahoma(8.25, bold));
    painter.setPen(Qt::black);
    painter.drawText(4, 16, word);
    painter.end();
    const auto inked = [&image](int x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) < 128)
                return true;
        }
        return false;
    };
    int first = 0;
    while (first < image.width() && !inked(first))
        ++first;
    int last = image.width() - 1;
    while (last > first && !inked(last))
        --last;
    int gap = 0;
    int widest = 0;
    for (int x = first; x <= last; ++x) {
        gap = inked(x) ? 0 : gap + 1;
        widest = std::max(widest, gap);
    }
    QVERIFY2(last > first, "nothing drawn");
    QVERIFY2(widest <= 1, qPrintable(QStringLiteral("a gap of %1 pixels").arg(widest)));
}

QTEST_MAIN(TestLook)
#include "tst_look.moc"
