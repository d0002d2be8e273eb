// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/commandbutton.h"
#include "mainwindow/lockablecombobox.h"
#include "platform/fonts.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using namespace Qt::StringLiterals;
using namespace cardomine;

class TestCommandButtons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { platform::fonts::loadBundledFonts(); }

    void enterClicksOnlyTheFocusedButton_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("clicks");
        QTest::newRow("Return") << int(Qt::Key_Return) << 1;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 1;
        QTest::newRow("Space") << int(Qt::Key_Space) << 1;
        QTest::newRow("a letter") << int(Qt::Key_A) << 0;
    }
    void enterClicksOnlyTheFocusedButton()
    {
        QFETCH(int, key);
        QFETCH(int, clicks);
        QWidget window;
        auto *button = new CommandButton(&window);
        auto *other = new CommandButton(&window);
        QVERIFY(!button->autoDefault());
        QVERIFY(!button->isDefault());
        QSignalSpy clicked(button, &QPushButton::clicked);
        QSignalSpy otherClicked(other, &QPushButton::clicked);
        QTest::keyClick(button, Qt::Key(key));
        QCOMPARE(clicked.count(), clicks);
        QCOMPARE(otherClicked.count(), 0);
    }

    void disabledButtonIgnoresEnter()
    {
        CommandButton button;
        button.setEnabled(false);
        QSignalSpy clicked(&button, &QPushButton::clicked);
        QTest::keyClick(&button, Qt::Key_Return);
        QCOMPARE(clicked.count(), 0);
    }

    // The picture sits above the caption, and both fit the button, for the captions
    // the picture buttons carry.
    void pictureAboveCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("lines");
        QTest::newRow("Options") << u"&Options"_s << QSize(65, 49) << 1;
        QTest::newRow("Exit Cardomine") << u"E&xit Cardomine"_s << QSize(73, 73) << 2;
        QTest::newRow("Save New Record") << u"Save &New Record"_s << QSize(73, 73) << 2;
    }
    void pictureAboveCaption()
    {
        QFETCH(QString, caption);
        QFETCH(QSize, size);
        QFETCH(int, lines);
        PictureButton button;
        button.setFont(platform::fonts::windowFont());
        button.setText(caption);
        button.resize(size);
        const QRect picture = button.pictureRect();
        const QRect text = button.captionRect();
        QCOMPARE(picture.size(), QSize(32, 32));
        QVERIFY(button.rect().contains(picture));
        QVERIFY(picture.bottom() < text.top());
        const QRect needed = button.fontMetrics().boundingRect(
            QRect(0, 0, text.width(), 1000),
            Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
        QVERIFY2(needed.width() <= text.width() && needed.height() <= text.height(),
                 qPrintable(u"needs %1x%2, has %3x%4"_s.arg(needed.width())
                                .arg(needed.height())
                                .arg(text.width())
                                .arg(text.height())));
        QCOMPARE(needed.height() / button.fontMetrics().lineSpacing(), lines);
        QVERIFY(button.rect().contains(text));
    }

    void emptyListShowsNoSelection()
    {
        LockableComboBox list;
        QVERIFY(!list.isEditable());
        QVERIFY(list.lineEdit() == nullptr);
        QCOMPARE(list.currentIndex(), -1);
        QCOMPARE(list.currentText(), QString());
    }

    void lockedListKeepsItsSelection_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("index");
        QTest::newRow("unlocked Down") << false << int(Qt::Key_Down) << 2;
        QTest::newRow("locked Down") << true << int(Qt::Key_Down) << 1;
        QTest::newRow("unlocked End") << false << int(Qt::Key_End) << 2;
        QTest::newRow("locked Up") << true << int(Qt::Key_Up) << 1;
        QTest::newRow("locked typed letter") << true << int(Qt::Key_C) << 1;
        QTest::newRow("unlocked typed letter") << false << int(Qt::Key_C) << 2;
    }
    void lockedListKeepsItsSelection()
    {
        QFETCH(bool, locked);
        QFETCH(int, key);
        QFETCH(int, index);
        LockableComboBox list;
        list.addItems({u"Assistant"_s, u"Business"_s, u"Customer"_s});
        list.setCurrentIndex(1);
        list.setLocked(locked);
        QCOMPARE(list.isLocked(), locked);
        QTest::keyClick(&list, Qt::Key(key));
        QCOMPARE(list.currentIndex(), index);
    }

    void lockedListRefusesWheelAndPopup()
    {
        LockableComboBox list;
        list.addItems({u"A"_s, u"B"_s, u"C"_s});
        list.setCurrentIndex(1);
        list.setLocked(true);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QWheelEvent wheel(QPointF(5, 5), list.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&list, &wheel);
        QCOMPARE(list.currentIndex(), 1);
        list.showPopup();
        QVERIFY(!list.view()->isVisible());
        QTest::mouseClick(&list, Qt::LeftButton);
        QVERIFY(!list.view()->isVisible());
        // The program still selects items while the user cannot.
        list.setCurrentIndex(2);
        QCOMPARE(list.currentIndex(), 2);
        list.setLocked(false);
        list.showPopup();
        QTRY_VERIFY(list.view()->isVisible());
        list.hidePopup();
    }
};

QTEST_MAIN(TestCommandButtons)
#include "tst_commandbuttons.moc"
