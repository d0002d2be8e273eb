// SPDX-License-Identifier: GPL-3.0-or-later
// frmOptions and frmFind: layout, keys, and the version messages.

#include "dialogs/frmfind.h"
#include "dialogs/frmoptions.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
#include "platform/scriptedmessages.h"
#include "tests/support/messageprinting.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTest>

using namespace cardomine;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;
using platform::twipsRect;

namespace {

QList<MessageBox> versionBoxes()
{
    return {MessageBox{QStringLiteral("Upgrade To Version 2.0"),
                       QStringLiteral("These options can only be used in version 2 of Cardomine."),
                       MessageIcon::Information, MessageButtons::Ok},
            MessageBox{QStringLiteral("See 'C:\\Program Files\\Pelvarin\\Upgrade.txt'"),
                       QStringLiteral("To make use of these advanced options,\ryou can upgrade to "
                                      "Cardomine 2.0\rSee 'Upgrade.txt' for details."),
                       MessageIcon::Information, MessageButtons::Ok}};
}

QString caption(const QAbstractButton *b)
{
    // Long captions are wrapped onto lines for display.
    return b->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { platform::fonts::loadBundledFonts(); }
    void init();
    void cleanup();

    void optionsLayout_data();
    void optionsLayout();
    void optionsStartsFromDesignSettings();
    void captionsShowWhole_data();
    void captionsShowWhole();
    void tabStripAndFrame_data();
    void tabStripAndFrame();
    void ctrlTab_data();
    void ctrlTab();
    void closing_data();
    void closing();
    void findLayout();
    void findIgnoresEscape();

private:
    platform::ScriptedMessageService m_messages;
};

namespace {

// Runs the rest of a test under another style, as the user may choose one.
class StyleForTest
{
public:
    explicit StyleForTest(const QString &name)
        : m_previous(QApplication::style()->name())
    {
        QApplication::setStyle(QStyleFactory::create(name));
    }
    ~StyleForTest() { QApplication::setStyle(QStyleFactory::create(m_previous)); }
    StyleForTest(const StyleForTest &) = delete;
    StyleForTest &operator=(const StyleForTest &) = delete;

private:
    QString m_previous;
};

QByteArray describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toLatin1();
}

// The rectangle of the pixels in `image` darker than mid grey, right of `left`.
QRect inkRect(const QImage &image, int left)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = left; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 96)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

void TestDialogs::init()
{
    m_messages.clear();
    platform::setMessageService(&m_messages);
}

void TestDialogs::cleanup()
{
    platform::setMessageService(nullptr);
}

void TestDialogs::optionsLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("Option1") << QStringLiteral("Option1") << twipsRect(960, 1440, 1935, 375)
                             << QStringLiteral("Save Database As Random File (Default)")
                             << QStringLiteral("Advantage: Speeds Up Reads, Saves, And Searching. "
                                               "Disadvantage: Larger Database File Size.");
    QTest::newRow("Option2") << QStringLiteral("Option2") << twipsRect(3480, 1440, 1695, 375)
                             << QStringLiteral("Save Database As Sequential File")
                             << QStringLiteral("Advantage: Smaller Database File Size. "
                                               "Disadvantage: Slower Reads, and Saves. Searching "
                                               "Also Takes Longer.");
    QTest::newRow("Check1") << QStringLiteral("Check1") << twipsRect(1680, 2160, 3015, 615)
                            << QStringLiteral("Read File in Segments To Increase Speed "
                                              "(Recommended)")
                            << QStringLiteral("Make Cardomine Read The Random Access File As "
                                              "Neccessary To Speed Up Read Access Times. "
                                              "Unchecked Will Make Cardomine Read The Entire File "
                                              "At Once.");
    QTest::newRow("Check2") << QStringLiteral("Check2") << twipsRect(1680, 2760, 3015, 615)
                            << QStringLiteral("Compose File Information On The Fly To Increase "
                                              "File Saving Speed (Recommended)")
                            << QStringLiteral("Check Here To Make Cardomine Save File Information "
                                              "After Any Edit. Unchecked And You Will Be Prompted "
                                              "At The End Of Every Session.");
    QTest::newRow("cmdOK") << QStringLiteral("cmdOK") << twipsRect(2490, 4455, 1095, 375)
                           << QStringLiteral("OK") << QString();
    QTest::newRow("cmdCancel") << QStringLiteral("cmdCancel") << twipsRect(3720, 4455, 1095, 375)
                               << QStringLiteral("Cancel") << QString();
    QTest::newRow("cmdApply") << QStringLiteral("cmdApply") << twipsRect(4920, 4455, 1095, 375)
                              << QStringLiteral("Apply") << QString();
}

void TestDialogs::optionsLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);

    FrmOptions dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Cardomine(tm) Options"));
    QCOMPARE(dialog.size(), platform::twipsSize(6150, 4920));
    auto *button = dialog.findChild<QAbstractButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->geometry(), rect);
    QCOMPARE(caption(button), text);
    QCOMPARE(button->toolTip(), toolTip);
    if (auto *push = qobject_cast<QPushButton *>(button)) {
        QVERIFY(!push->isDefault());
        QVERIFY(!push->autoDefault());
    }
    QCOMPARE(dialog.tbsOptions->count(), 1);
    QCOMPARE(dialog.tbsOptions->tabText(0), QStringLiteral("Database File"));
    QCOMPARE(dialog.tbsOptions->tabData(0).toString(), QStringLiteral("Group1"));
    QCOMPARE(dialog.tbsOptions->tabToolTip(0),
             QStringLiteral("Set Options For File Format Of Database File"));
    QCOMPARE(dialog.fraSample[0]->title(), QStringLiteral("Database File Saving Options"));
    QCOMPARE(dialog.picOptions[0]->geometry(), twipsRect(210, 480, 5685, 3780));
    for (int i = 1; i < 4; ++i) {
        QCOMPARE(dialog.picOptions[std::size_t(i)]->x(), platform::twipsToPixels(-20000));
        QVERIFY(!dialog.picOptions[std::size_t(i)]->isEnabled());
    }
}

void TestDialogs::optionsStartsFromDesignSettings()
{
    {
        FrmOptions dialog;
        dialog.Option2->setChecked(true);
        dialog.Check1->setChecked(false);
        dialog.Check2->setChecked(false);
        QVERIFY(!dialog.Option1->isChecked()); // one group: selecting one clears the other
        dialog.cmdOK->click();
    }
    FrmOptions again;
    QVERIFY(again.Option1->isChecked());
    QVERIFY(!again.Option2->isChecked());
    QVERIFY(again.Check1->isChecked());
    QVERIFY(again.Check2->isChecked());
}

void TestDialogs::captionsShowWhole_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("name");
    for (const QString &style : {QStringLiteral("Windows"), QStringLiteral("Fusion")})
        for (const char *name : {"Option1", "Option2", "Check1", "Check2"})
            QTest::addRow("%s %s", qPrintable(style), name) << style << QString::fromLatin1(name);
}

// Every caption wraps inside the rectangle the layout gives its button and shows whole,
// in the dialog's own font.
void TestDialogs::captionsShowWhole()
{
    QFETCH(QString, style);
    QFETCH(QString, name);
    const StyleForTest styled(style);
    FrmOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *button = dialog.findChild<QAbstractButton *>(name);
    QVERIFY(button);
    // The caption's place as the style lays the button out: beside the indicator.
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool check = name.startsWith(QLatin1String("Check"));
    const QRect area = button->style()->subElementRect(
        check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, button);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    QVERIFY(button->rect().contains(area));
    QCOMPARE(button->font(), dialog.font());
    const QFontMetrics metrics(button->font());
    const QRect needed = metrics.boundingRect(area, flags, button->text());
    QVERIFY2(area.contains(needed), describe(needed).constData());
    // What reaches the screen is that wrapped caption: its ink spans the lines.
    const QRect ink = inkRect(button->grab().toImage(), area.left());
    QVERIFY(!ink.isEmpty());
    QVERIFY2(needed.adjusted(-1, -1, 1, 1).contains(ink), describe(ink).constData());
    QVERIFY(ink.height() > needed.height() - metrics.height());
    // A click on the last line of the caption works the button, as on the classic one.
    const bool before = button->isChecked();
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(area.left() + 2, needed.bottom() - 1));
    if (check)
        QCOMPARE(button->isChecked(), !before);
    else
        QVERIFY(button->isChecked());
}

void TestDialogs::tabStripAndFrame_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("Windows") << QStringLiteral("Windows");
    QTest::newRow("Fusion") << QStringLiteral("Fusion");
}

// One tab as wide as its caption, standing on a bordered page that fills the strip's
// rectangle; in the classic style the frame's caption sits in its top edge.
void TestDialogs::tabStripAndFrame()
{
    QFETCH(QString, style);
    const StyleForTest styled(style);
    FrmOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTabBar *tabs = dialog.tbsOptions;
    const QRect strip = twipsRect(105, 120, 5895, 4245);
    const int captionWidth = QFontMetrics(tabs->font()).horizontalAdvance(tabs->tabText(0));
    QVERIFY(tabs->tabRect(0).width() >= captionWidth);
    QVERIFY(tabs->tabRect(0).width() <= captionWidth + 40);
    QCOMPARE(tabs->geometry().topLeft(), strip.topLeft());
    auto *tabPage = dialog.findChild<QWidget *>(QStringLiteral("tbsOptionsPage"));
    QVERIFY(tabPage);
    QCOMPARE(tabPage->geometry().bottomRight(), strip.bottomRight());
    QCOMPARE(tabPage->x(), strip.x());
    QVERIFY(tabPage->y() <= tabs->geometry().bottom() + 1);
    QVERIFY(tabPage->geometry().contains(dialog.picOptions[0]->geometry()));
    // The page's border is drawn: its left edge differs from its inside.
    const QImage page = tabPage->grab().toImage();
    const int y = page.height() / 2;
    QVERIFY(page.pixel(0, y) != page.pixel(page.width() / 2, y) ||
            page.pixel(page.width() - 1, y) != page.pixel(page.width() / 2, y));

    if (style != QLatin1String("Windows"))
        return;
    QGroupBox *frame = dialog.fraSample[0];
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.textAlignment = frame->alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, frame);
    const QRect edge = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                      QStyle::SC_GroupBoxFrame, frame);
    QVERIFY(label.top() < edge.top() && edge.top() < label.bottom());
}

void TestDialogs::ctrlTab_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("handled");

    QTest::newRow("Ctrl+Tab") << Qt::Key_Tab << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("Ctrl+Shift+Tab")
        << Qt::Key_Backtab << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)
        << false;
    QTest::newRow("plain Tab") << Qt::Key_Tab << Qt::KeyboardModifiers() << false;
}

void TestDialogs::ctrlTab()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, handled);

    FrmOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.Check1->setFocus();
    // Parking panel 0 shows whether the tab-click handling ran.
    dialog.picOptions[0]->move(0, dialog.picOptions[0]->y());
    QTest::keyClick(dialog.Check1, key, modifiers);
    QCOMPARE(dialog.tbsOptions->currentIndex(), 0);
    QCOMPARE(dialog.picOptions[0]->x() == platform::twipsToPixels(210), handled);
    if (handled)
        QVERIFY(dialog.Check1->hasFocus()); // the key was used up, not passed on
    QVERIFY(dialog.picOptions[0]->isEnabled());
    QVERIFY(m_messages.shown().isEmpty());
}

void TestDialogs::closing_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key"); // 0: a mouse click
    QTest::addColumn<bool>("messages");
    QTest::addColumn<bool>("closes");

    QTest::newRow("OK") << QStringLiteral("cmdOK") << 0 << true << true;
    QTest::newRow("Apply") << QStringLiteral("cmdApply") << 0 << true << true;
    QTest::newRow("Cancel") << QStringLiteral("cmdCancel") << 0 << false << true;
    QTest::newRow("Escape") << QStringLiteral("Option1") << int(Qt::Key_Escape) << false << true;
    // Enter clicks the button that has the focus, and no other.
    QTest::newRow("Return on OK") << QStringLiteral("cmdOK") << int(Qt::Key_Return) << true << true;
    QTest::newRow("keypad Enter on Apply")
        << QStringLiteral("cmdApply") << int(Qt::Key_Enter) << true << true;
    QTest::newRow("Return on Cancel")
        << QStringLiteral("cmdCancel") << int(Qt::Key_Return) << false << true;
    QTest::newRow("Return on a check box")
        << QStringLiteral("Check1") << int(Qt::Key_Return) << false << false;
    QTest::newRow("Return on an option button")
        << QStringLiteral("Option2") << int(Qt::Key_Return) << false << false;
}

void TestDialogs::closing()
{
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(bool, messages);
    QFETCH(bool, closes);

    FrmOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *target = dialog.findChild<QWidget *>(control);
    QVERIFY(target != nullptr);
    if (key == 0) {
        QTest::mouseClick(target, Qt::LeftButton);
    } else {
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, Qt::Key(key));
    }
    QCOMPARE(dialog.isVisible(), !closes);
    QCOMPARE(m_messages.shown(), messages ? versionBoxes() : QList<MessageBox>{});
    QVERIFY(dialog.Option1->isChecked()); // nothing else was changed on the way
    QVERIFY(dialog.Check1->isChecked());
}

void TestDialogs::findLayout()
{
    FrmFind dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Find What?"));
    QCOMPARE(dialog.size(), platform::twipsSize(5970, 3450));
    QCOMPARE(dialog.OKButton->geometry(), twipsRect(4680, 120, 1215, 375));
    QCOMPARE(dialog.OKButton->toolTip(),
             QStringLiteral("Click here to search using specified criteria."));
    QCOMPARE(dialog.chkFirstName->geometry(), twipsRect(240, 240, 975, 495));
    QCOMPARE(dialog.chkFirstName->text(), QStringLiteral("By First Name"));
    QVERIFY(!dialog.chkFirstName->isChecked());
    QCOMPARE(dialog.CancelButton->geometry(), twipsRect(4680, 600, 1215, 375));
    QCOMPARE(dialog.CancelButton->toolTip(), QString());
    QVERIFY(!dialog.OKButton->isDefault() && !dialog.OKButton->autoDefault());
    QVERIFY(!dialog.CancelButton->isDefault() && !dialog.CancelButton->autoDefault());
}

void TestDialogs::findIgnoresEscape()
{
    FrmFind dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(dialog.chkFirstName, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    dialog.OKButton->click();
    dialog.CancelButton->click();
    QVERIFY(dialog.isVisible()); // its buttons do nothing in this version
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
