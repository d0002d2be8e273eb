// SPDX-License-Identifier: GPL-3.0-or-later
// Create New, then Save New Record: over a real data folder with scripted boxes.

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/lockablecombobox.h"
#include "platform/faults.h"
#include "platform/files.h"
#include "tests/support/loadedwindow.h"
#include "tests/support/messageprinting.h"
#include "tests/support/windowhelpers.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <cerrno>

using namespace cardomine;
using platform::MessageAnswer;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;
using testing::elevenBoxes;
using testing::LoadedWindow;
using testing::padded;
using testing::twelveBoxes;

namespace {

const MessageBox FormattingBox{
    QStringLiteral("Record Formatting Complete."),
    QStringLiteral("You are now ready to create your new record. Click OK to continue.\rWhen "
                   "you're finished creating your record, click the 'STOP' button to continue."),
    MessageIcon::Information, MessageButtons::Ok};
const MessageBox CautionBox{QStringLiteral("Caution!"),
                            QStringLiteral("Major elements of this record are blank.\rDo you "
                                           "still want to save this record?"),
                            MessageIcon::Exclamation, MessageButtons::YesNo};

struct Typed
{
    QString first, last, company, home, work, notes;
};

void type(FrmWork &w, const Typed &t)
{
    QTest::keyClicks(w.fname, t.first);
    QTest::keyClicks(w.lname, t.last);
    QTest::keyClicks(w.company, t.company);
    QTest::keyClicks(w.homephone, t.home);
    QTest::keyClicks(w.workphone, t.work);
    QTest::keyClicks(w.address, QStringLiteral("9 New Road"));
    if (!t.notes.isEmpty())
        QTest::keyClicks(w.notes, t.notes);
}

void verifyBrowsingOnRecordOne(FrmWork &w)
{
    QCOMPARE(w.exitButton->text(), QStringLiteral("E&xit Cardomine"));
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: View"));
    for (QPushButton *b : {w.createButton, w.editButton, w.optnButton, w.deleteButton, w.findButton,
                           w.abtButton, w.exitButton})
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    QVERIFY(w.ScrollBar->isEnabled());
    QCOMPARE(w.ScrollBar->value(), 1);
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First1"), 10));
    for (QLineEdit *box : elevenBoxes(w))
        QVERIFY2(box->isReadOnly(), qPrintable(box->objectName()));
    QVERIFY(w.ID->isReadOnly());
    QVERIFY(w.notes->isReadOnly());
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Notes of 1"));
    QVERIFY(!w.cboCustomer->isLocked());
}

} // namespace

class TestCreate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { platform::faults::reset(); }

    void enterCreateMode();
    void majorFieldCheck_data();
    void majorFieldCheck();
    void savedRecordOnDisk();
    void discardLeavesFilesAndOffersNumberAgain();
    void escapeAndAltNFinishCreate();
    void newRecordDoesNotInheritOldNotes();
    void refusedPastHighestRecord();
    void failedSaveStaysInCreateMode();
};

void TestCreate::enterCreateMode()
{
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const ContactRecord before = CurrentRecord;

    bool checkedDuringBox = false;
    loaded.messages.onShow = [&](const MessageBox &) {
        // The record on display is still shown; only ID has the new number.
        checkedDuringBox = w.fname->text() == padded(QStringLiteral("First1"), 10) &&
                           w.ID->text() == QStringLiteral("3     ") &&
                           !w.createButton->isEnabled() && !w.findButton->isEnabled() &&
                           w.ScrollBar->value() == 1 && w.ScrollBar->isEnabled();
    };
    w.createButton->click();
    loaded.messages.onShow = nullptr;

    QVERIFY(checkedDuringBox);
    QCOMPARE(loaded.messages.shown(), QList<MessageBox>{FormattingBox});
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: Create New Record"));
    QCOMPARE(w.ScrollBar->maximum(), 3);
    QCOMPARE(w.ScrollBar->value(), 3);
    QVERIFY(!w.ScrollBar->isEnabled());
    QCOMPARE(w.exitButton->text(), QStringLiteral("Save &New Record"));
    QCOMPARE(w.ID->text(), QStringLiteral("3"));
    QVERIFY(w.ID->isReadOnly());
    for (QLineEdit *box : elevenBoxes(w)) {
        QVERIFY2(!box->isReadOnly(), qPrintable(box->objectName()));
        QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
    }
    QVERIFY(!w.notes->isReadOnly());
    QVERIFY(w.notes->toPlainText().isEmpty());
    QVERIFY(w.cboCustomer->isLocked());
    QVERIFY(w.abtButton->isEnabled());
    QVERIFY(w.exitButton->isEnabled());
    // Of the record in memory only the number changed: nothing was loaded.
    ContactRecord expected = before;
    expected.ContactID = QStringLiteral("3");
    QCOMPARE(CurrentRecord, expected);
}

void TestCreate::majorFieldCheck_data()
{
    QTest::addColumn<Typed>("typed");
    QTest::addColumn<bool>("asks");

    const QString f = QStringLiteral("Nia"), l = QStringLiteral("Novak"),
                  c = QStringLiteral("Acme"), p = QStringLiteral("555.123.4567");
    QTest::newRow("all filled") << Typed{f, l, c, p, p, {}} << false;
    QTest::newRow("only work phone") << Typed{f, l, c, {}, p, {}} << false;
    QTest::newRow("only home phone") << Typed{f, l, c, p, {}, {}} << false;
    QTest::newRow("no phone") << Typed{f, l, c, {}, {}, {}} << true;
    QTest::newRow("no first name") << Typed{{}, l, c, p, p, {}} << true;
    QTest::newRow("no last name") << Typed{f, {}, c, p, p, {}} << true;
    QTest::newRow("no company") << Typed{f, l, {}, p, p, {}} << true;
    QTest::newRow("a space counts as filled")
        << Typed{QStringLiteral(" "), l, QStringLiteral(" "), QStringLiteral(" "), {}, {}} << false;
}

void TestCreate::majorFieldCheck()
{
    QFETCH(Typed, typed);
    QFETCH(bool, asks);

    for (MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) {
        if (!asks && answer == MessageAnswer::No)
            continue;
        LoadedWindow loaded(2);
        QVERIFY(loaded.isLoaded());
        FrmWork &w = *loaded.window;
        const QByteArray dataBefore = loaded.drive.readFile(paths::DataFile);
        w.createButton->click();
        type(w, typed);
        loaded.messages.clear();
        if (asks)
            loaded.messages.queueAnswer(answer);
        w.exitButton->click();

        QCOMPARE(loaded.messages.shown(),
                 asks ? QList<MessageBox>{CautionBox} : QList<MessageBox>{});
        QVERIFY(loaded.messages.unexpected().isEmpty());
        const bool saved = answer == MessageAnswer::Yes;
        QCOMPARE(loaded.drive.readFile(paths::DataFile).size(), saved ? 3 * 249 : 2 * 249);
        if (!saved)
            QCOMPARE(loaded.drive.readFile(paths::DataFile), dataBefore);
        QCOMPARE(indexfile::recordCount(IndexLines), saved ? 3 : 2);
        QCOMPARE(w.ScrollBar->maximum(), saved ? 3 : 2);
        verifyBrowsingOnRecordOne(w);
    }
}

void TestCreate::savedRecordOnDisk()
{
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.ScrollBar->setValue(2); // the new record takes the type of the record on display
    w.createButton->click();
    type(w, Typed{QStringLiteral("Nia"),
                  QStringLiteral("Novak"),
                  QStringLiteral("Acme"),
                  QStringLiteral("555.123.4567"),
                  {},
                  QStringLiteral("Met at the fair")});
    w.exitButton->click();

    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    QCOMPARE(data.size(), 747);
    ContactRecord expected;
    expected.FirstName = QStringLiteral("Nia");
    expected.LastName = QStringLiteral("Novak");
    expected.Company = QStringLiteral("Acme");
    expected.Address = QStringLiteral("9 New Road");
    expected.ContactID = QStringLiteral("3");
    expected.HomePhone = QStringLiteral("555.123.4567");
    expected.DataType = QStringLiteral("Contacts");
    QCOMPARE(data.mid(498, 249), expected.toRandomBytes());
    QCOMPARE(loaded.drive.readFile(paths::IndexFile), LoadedWindow::indexBytes(3));
    QCOMPARE(loaded.drive.readFile(notes::pathFor(3)), QByteArray("Met at the fair\r\n"));
    QCOMPARE(platform::files::attributes(paths::DataFile), 7);
    QCOMPARE(platform::files::attributes(paths::IndexFile), 5);
    verifyBrowsingOnRecordOne(w);
    QCOMPARE(w.ScrollBar->maximum(), 3);

    // The new record is reached by moving the scroll bar.
    w.ScrollBar->setValue(3);
    QCOMPARE(w.fname->text(), padded(QStringLiteral("Nia"), 10));
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Met at the fair"));
}

void TestCreate::discardLeavesFilesAndOffersNumberAgain()
{
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const QByteArray index = loaded.drive.readFile(paths::IndexFile);

    w.createButton->click();
    QTest::keyClicks(w.fname, QStringLiteral("Gone"));
    QTest::keyClicks(w.notes, QStringLiteral("never saved"));
    loaded.messages.queueAnswer(MessageAnswer::No);
    w.exitButton->click();

    QCOMPARE(loaded.drive.readFile(paths::DataFile), data);
    QCOMPARE(loaded.drive.readFile(paths::IndexFile), index);
    QVERIFY(!QFile::exists(loaded.drive.native(notes::pathFor(3))));
    QCOMPARE(w.ScrollBar->maximum(), 2);
    QCOMPARE(w.ID->text(), QStringLiteral("1"));
    verifyBrowsingOnRecordOne(w);

    loaded.messages.clear();
    w.createButton->click();
    QCOMPARE(w.ID->text(), QStringLiteral("3"));
}

void TestCreate::escapeAndAltNFinishCreate()
{
    for (const bool useEscape : {true, false}) {
        LoadedWindow loaded(1);
        QVERIFY(loaded.isLoaded());
        FrmWork &w = *loaded.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.createButton->click();
        QTest::keyClicks(w.fname, QStringLiteral("Key"));
        loaded.messages.clear();
        loaded.messages.queueAnswer(MessageAnswer::No);
        if (useEscape)
            QTest::keyClick(w.fname, Qt::Key_Escape);
        else
            QTest::keyClick(w.fname, Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(loaded.messages.shown().size(), 1);
        QCOMPARE(loaded.messages.shown(), QList<MessageBox>{CautionBox});
        QCOMPARE(w.exitButton->text(), QStringLiteral("E&xit Cardomine"));
        QVERIFY(w.isVisible());
    }
}

void TestCreate::newRecordDoesNotInheritOldNotes()
{
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    loaded.drive.writeFile(notes::pathFor(3), "left behind\r\n");
    w.createButton->click();
    type(w, Typed{QStringLiteral("Nia"),
                  QStringLiteral("Novak"),
                  QStringLiteral("Acme"),
                  QStringLiteral("1"),
                  {},
                  {}});
    w.exitButton->click();
    QCOMPARE(loaded.drive.readFile(notes::pathFor(3)), QByteArray());
    w.ScrollBar->setValue(3);
    QCOMPARE(w.notes->toPlainText(), QString());
}

void TestCreate::refusedPastHighestRecord()
{
    LoadedWindow loaded(1);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    IndexLines.setEntry(2, QStringLiteral("Num_Of_Records=32767"));
    w.createButton->click();
    QCOMPARE(loaded.messages.shown().size(), 1);
    QVERIFY(loaded.messages.shown().constFirst().text.contains(QStringLiteral("32767")));
    QVERIFY(w.createButton->isEnabled());
    QCOMPARE(w.exitButton->text(), QStringLiteral("E&xit Cardomine"));
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: View"));
    QCOMPARE(CurrentRecord.contactNumber(), std::optional<int>(1));
}

void TestCreate::failedSaveStaysInCreateMode()
{
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const QByteArray index = loaded.drive.readFile(paths::IndexFile);
    w.createButton->click();
    type(w, Typed{QStringLiteral("Nia"),
                  QStringLiteral("Novak"),
                  QStringLiteral("Acme"),
                  QStringLiteral("1"),
                  {},
                  QStringLiteral("keep me")});
    loaded.messages.clear();

    platform::faults::reset();
    platform::faults::arm(1, ENOSPC);
    w.exitButton->click();
    platform::faults::reset();

    QCOMPARE(loaded.messages.shown().size(), 1);
    QCOMPARE(loaded.messages.shown().constFirst().icon, MessageIcon::Critical);
    // The save's first file operation prepares the new contact's notes file.
    QVERIFY(loaded.messages.shown().constFirst().text.contains(QStringLiteral("3.txt")));
    QCOMPARE(loaded.drive.readFile(paths::DataFile), data);
    QCOMPARE(loaded.drive.readFile(paths::IndexFile), index);
    QCOMPARE(w.exitButton->text(), QStringLiteral("Save &New Record"));
    QVERIFY(!w.createButton->isEnabled());
    QVERIFY(!w.ScrollBar->isEnabled());
    QCOMPARE(w.fname->text(), QStringLiteral("Nia"));
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("keep me"));

    // Retrying works and saves what was typed.
    w.exitButton->click();
    QCOMPARE(loaded.drive.readFile(paths::DataFile).size(), 747);
    QCOMPARE(loaded.drive.readFile(notes::pathFor(3)), QByteArray("keep me\r\n"));
    QCOMPARE(w.exitButton->text(), QStringLiteral("E&xit Cardomine"));
}

QTEST_MAIN(TestCreate)
#include "tst_create.moc"
