// SPDX-License-Identifier: GPL-3.0-or-later
// Browsing with the scroll bar over a real data folder.

#include "datastore/contactrecord.h"
#include "datastore/paths.h"
#include "mainwindow/frmwork.h"
#include "platform/faults.h"
#include "tests/support/loadedwindow.h"
#include "tests/support/windowhelpers.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <cerrno>

using namespace cardomine;
using testing::elevenBoxes;
using testing::LoadedWindow;
using testing::padded;
using testing::twelveBoxes;

class TestNavigation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { platform::faults::reset(); }

    void moveShowsRecord_data();
    void moveShowsRecord();
    void sameNumberDoesNothing();
    void comparisonIsNumeric();
    void notesFollowTheRecord();
    void dragLoadsOnlyAtRelease();
    void failedLoadKeepsRecordAndSaysWhy();
    void refillLeavesNothingOfBefore_data();
    void refillLeavesNothingOfBefore();
    void emptyNotesDropTheirUndo();
};

void TestNavigation::moveShowsRecord_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");

    QTest::newRow("arrow step") << QStringLiteral("arrow") << 2;
    QTest::newRow("page step") << QStringLiteral("page") << 4;
    QTest::newRow("keyboard right") << QStringLiteral("key") << 2;
    QTest::newRow("keyboard left after end") << QStringLiteral("left") << 5;
    QTest::newRow("keyboard end") << QStringLiteral("end") << 6;
    QTest::newRow("value set by the program") << QStringLiteral("set") << 5;
}

void TestNavigation::moveShowsRecord()
{
    QFETCH(QString, how);
    QFETCH(int, expected);

    LoadedWindow loaded(6);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    QCOMPARE(w.ScrollBar->maximum(), 6);

    if (how == QLatin1String("arrow")) {
        w.ScrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (how == QLatin1String("page")) {
        w.ScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else if (how == QLatin1String("key")) {
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.ScrollBar->setFocus();
        QTest::keyClick(w.ScrollBar, Qt::Key_Right);
    } else if (how == QLatin1String("end")) {
        w.ScrollBar->setFocus();
        QTest::keyClick(w.ScrollBar, Qt::Key_End);
    } else if (how == QLatin1String("left")) {
        w.ScrollBar->setFocus();
        QTest::keyClick(w.ScrollBar, Qt::Key_End);
        QTest::keyClick(w.ScrollBar, Qt::Key_Left);
    } else {
        w.ScrollBar->setValue(expected);
    }

    QCOMPARE(w.ScrollBar->value(), expected);
    QCOMPARE(w.statusText(),
             QStringLiteral("Ready.  You Are Viewing Record# : ") + QString::number(expected));
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First%1").arg(expected), 10));
    QCOMPARE(w.company->text(), padded(QStringLiteral("Company%1").arg(expected), 40));
    QCOMPARE(w.ID->text(), padded(QString::number(expected), 6));
    QCOMPARE(w.pagermobile->text(), QString(12, QLatin1Char(' ')));
    QCOMPARE(CurrentRecord.contactNumber(), std::optional<int>(expected));
    // Every box is read-only after a move, the fax box included.
    for (QLineEdit *box : twelveBoxes(w))
        QVERIFY2(box->isReadOnly(), qPrintable(box->objectName()));
    QVERIFY(w.notes->isReadOnly());
    QCOMPARE(loaded.messages.shown().size(), 0);
}

void TestNavigation::sameNumberDoesNothing()
{
    LoadedWindow loaded(4);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;

    // Create mode's trick: the number is put into ContactID first, then the bar moves.
    CurrentRecord.ContactID = QStringLiteral("3");
    w.setStatusText(QStringLiteral("unchanged"));
    w.ScrollBar->setValue(3);
    QCOMPARE(w.statusText(), QStringLiteral("unchanged"));
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First1"), 10));
    QVERIFY(!w.fax->isReadOnly()); // the design-time lock state stays
}

void TestNavigation::comparisonIsNumeric()
{
    LoadedWindow loaded(8);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.ScrollBar->setValue(7);
    QCOMPARE(CurrentRecord.ContactID.text(), QStringLiteral("7     "));
    w.setStatusText(QStringLiteral("after 7"));
    // Leave and come back: each real move loads; "7     " matches 7 only as a number.
    w.ScrollBar->setValue(2);
    w.ScrollBar->setValue(7);
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  You Are Viewing Record# : 7"));
}

void TestNavigation::notesFollowTheRecord()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Notes of 1"));
    w.ScrollBar->setValue(2); // contact 2 has no notes file
    QCOMPARE(w.notes->toPlainText(), QString());
    w.ScrollBar->setValue(3);
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Notes of 3"));
}

void TestNavigation::dragLoadsOnlyAtRelease()
{
    LoadedWindow loaded(9);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.ScrollBar->setSliderDown(true);
    w.ScrollBar->setSliderPosition(3);
    w.ScrollBar->setSliderPosition(6);
    w.ScrollBar->setSliderPosition(8);
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First1"), 10));
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: View"));
    w.ScrollBar->setSliderDown(false);
    QCOMPARE(w.ScrollBar->value(), 8);
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First8"), 10));
}

void TestNavigation::failedLoadKeepsRecordAndSaysWhy()
{
    LoadedWindow loaded(4);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const ContactRecord before = CurrentRecord;

    platform::faults::reset();
    // The look at the data file's seal fails, and so does the first operation of the
    // whole load that follows it.
    platform::faults::arm(1, EIO);
    platform::faults::armSecond(2, EIO);
    w.ScrollBar->setValue(3);
    platform::faults::reset();

    QCOMPARE(loaded.messages.shown().size(), 1);
    const platform::MessageBox box = loaded.messages.shown().constFirst();
    QCOMPARE(box.icon, platform::MessageIcon::Critical);
    // The first file operation of a load fails; the box names its file.
    QVERIFY2(box.text.startsWith(QStringLiteral("Cannot write c:\\Program Files\\Pelvarin\\")),
             qPrintable(box.text));
    QVERIFY2(box.text.contains(QString::fromLocal8Bit(strerror(EIO))), qPrintable(box.text));
    QCOMPARE(CurrentRecord, before);
    QCOMPARE(w.ScrollBar->value(), 1);
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First1"), 10));
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: View"));

    // The next move works again.
    w.ScrollBar->setValue(3);
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First3"), 10));
}

void TestNavigation::refillLeavesNothingOfBefore_data()
{
    QTest::addColumn<QString>("before");

    // The box already holds the text it is given again.
    QTest::newRow("selected") << QStringLiteral("selected");
    QTest::newRow("typed and typed back") << QStringLiteral("typed back");
    QTest::newRow("caret at the end") << QStringLiteral("end");
    QTest::newRow("another text") << QStringLiteral("other");
}

void TestNavigation::refillLeavesNothingOfBefore()
{
    QFETCH(QString, before);

    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    // Every contact's pager box is blank: the move to 2 gives it the same text.
    QLineEdit *box = w.pagermobile;
    const QString blank(12, QLatin1Char(' '));
    QCOMPARE(box->text(), blank);
    if (before == QLatin1String("selected")) {
        box->selectAll();
    } else if (before == QLatin1String("typed back")) {
        box->setReadOnly(false);
        box->setFocus();
        box->end(false);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Space);
        QCOMPARE(box->text(), blank);
        QVERIFY(box->isModified());
        QVERIFY(box->isUndoAvailable());
    } else if (before == QLatin1String("end")) {
        box->end(false);
    } else {
        box->setText(QStringLiteral("something else"));
    }

    w.ScrollBar->setValue(2);
    QCOMPARE(box->text(), blank);
    QCOMPARE(box->cursorPosition(), 0);
    QVERIFY(!box->hasSelectedText());
    QVERIFY(!box->isModified());
    QVERIFY(!box->isUndoAvailable());
    QVERIFY(box->isReadOnly());
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First2"), 10));
}

void TestNavigation::emptyNotesDropTheirUndo()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    // Notes typed and taken out again leave an empty box that can undo.
    w.notes->setReadOnly(false);
    w.notes->clear();
    w.notes->insertPlainText(QStringLiteral("x"));
    QTextCursor cursor = w.notes->textCursor();
    cursor.deletePreviousChar();
    QCOMPARE(w.notes->toPlainText(), QString());
    QVERIFY(w.notes->document()->isUndoAvailable());

    w.ScrollBar->setValue(2); // contact 2 has no notes file
    QCOMPARE(w.notes->toPlainText(), QString());
    QVERIFY(!w.notes->document()->isUndoAvailable());
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
