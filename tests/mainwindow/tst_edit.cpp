// SPDX-License-Identifier: GPL-3.0-or-later
// Edit, then Save Edit: the toggle, the question, saving and discarding.

#include "datastore/contactrecord.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/frmwork.h"
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

const MessageBox SaveQuestion{QStringLiteral("Save Record?"),
                              QStringLiteral("Are You SURE You Want To SAVE These Changes?"),
                              MessageIcon::Exclamation, MessageButtons::YesNo};

QList<QWidget *> leavingControls(FrmWork &w)
{
    return {w.optnButton, w.createButton, w.findButton, w.exitButton, w.ScrollBar, w.deleteButton};
}

void verifyBrowsing(FrmWork &w)
{
    QCOMPARE(w.editButton->property("tag").toString(), QString());
    QCOMPARE(w.editButton->text(), QStringLiteral("&Edit"));
    QCOMPARE(w.editButton->toolTip(), QStringLiteral("Click Here To Edit The Current Record"));
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: View"));
    for (QLineEdit *box : elevenBoxes(w))
        QVERIFY2(box->isReadOnly(), qPrintable(box->objectName()));
    QVERIFY(w.notes->isReadOnly());
    for (QWidget *c : leavingControls(w))
        QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
}

// Replaces a box's text the way a user would: select all, type.
void retype(QWidget *box, const QString &text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Delete);
    else
        QTest::keyClicks(box, text);
}

} // namespace

class TestEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { platform::faults::reset(); }

    void enterEditMode();
    void saveWritesRecordInPlace();
    void saveUnchangedRecordKeepsBytes();
    void emptiedFieldIsStoredAsSpaces();
    void discardRestoresRecordAndNotes();
    void keysInEditMode();
    void aboutKeepsEditMode();
    void failedSaveStaysInEditMode();
};

void TestEdit::enterEditMode()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.editButton->click();

    QCOMPARE(w.editButton->property("tag").toString(), QStringLiteral("Save"));
    QCOMPARE(w.editButton->text(), QStringLiteral("&Save Edit"));
    QCOMPARE(w.editButton->toolTip(), QStringLiteral("Click Here To Save Your Editing"));
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: Edit Existing Record"));
    for (QLineEdit *box : elevenBoxes(w))
        QVERIFY2(!box->isReadOnly(), qPrintable(box->objectName()));
    QVERIFY(!w.notes->isReadOnly());
    QVERIFY(w.ID->isReadOnly());
    for (QWidget *c : leavingControls(w))
        QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
    QVERIFY(w.abtButton->isEnabled());
    QVERIFY(w.editButton->isEnabled());
    // The boxes keep the record as displayed, padding included.
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First1"), 10));
    QVERIFY(loaded.messages.shown().isEmpty());
}

void TestEdit::saveWritesRecordInPlace()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.ScrollBar->setValue(2);
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const QByteArray index = loaded.drive.readFile(paths::IndexFile);

    w.editButton->click();
    retype(w.lname, QStringLiteral("Changed"));
    retype(w.notes, QStringLiteral("New notes"));
    loaded.messages.queueAnswer(MessageAnswer::Yes);
    w.editButton->click();

    QCOMPARE(loaded.messages.shown(), QList<MessageBox>{SaveQuestion});
    const QByteArray after = loaded.drive.readFile(paths::DataFile);
    QCOMPARE(after.size(), data.size());
    QCOMPARE(after.left(249), data.left(249));
    QCOMPARE(after.mid(498), data.mid(498));
    ContactRecord expected;
    expected.setFromRandomBytes(LoadedWindow::recordBytes(2));
    expected.LastName = QStringLiteral("Changed");
    QCOMPARE(after.mid(249, 249), expected.toRandomBytes());
    QCOMPARE(loaded.drive.readFile(paths::IndexFile), index);
    QCOMPARE(loaded.drive.readFile(notes::pathFor(2)), QByteArray("New notes\r\n"));
    QCOMPARE(platform::files::attributes(paths::DataFile), 7);
    QCOMPARE(platform::files::attributes(paths::IndexFile), 5);
    // The boxes keep what was typed; nothing is reloaded.
    QCOMPARE(w.lname->text(), QStringLiteral("Changed"));
    verifyBrowsing(w);
}

void TestEdit::saveUnchangedRecordKeepsBytes()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const QByteArray notes1 = loaded.drive.readFile(notes::pathFor(1));
    w.editButton->click();
    loaded.messages.queueAnswer(MessageAnswer::Yes);
    w.editButton->click();
    QCOMPARE(loaded.drive.readFile(paths::DataFile), data);
    // Notes do not grow by a line end at each save.
    QCOMPARE(loaded.drive.readFile(notes::pathFor(1)), notes1);
}

void TestEdit::emptiedFieldIsStoredAsSpaces()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.editButton->click();
    retype(w.company, QString());
    loaded.messages.queueAnswer(MessageAnswer::Yes);
    w.editButton->click();
    QCOMPARE(loaded.drive.readFile(paths::DataFile).mid(30, 40), QByteArray(40, ' '));
}

void TestEdit::discardRestoresRecordAndNotes()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const ContactRecord before = CurrentRecord;
    w.editButton->click();
    retype(w.fname, QStringLiteral("Typo"));
    retype(w.notes, QStringLiteral("scribble"));
    loaded.messages.queueAnswer(MessageAnswer::No);
    w.editButton->click();

    QCOMPARE(loaded.messages.shown(), QList<MessageBox>{SaveQuestion});
    QCOMPARE(w.fname->text(), padded(QStringLiteral("First1"), 10));
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Notes of 1"));
    QCOMPARE(CurrentRecord, before);
    QCOMPARE(loaded.drive.readFile(paths::DataFile), data);
    QCOMPARE(loaded.drive.readFile(notes::pathFor(1)), QByteArray("Notes of 1\r\n"));
    verifyBrowsing(w);
}

void TestEdit::keysInEditMode()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.editButton->click();
    // Escape would click the exit button, which is disabled in edit mode.
    QTest::keyClick(w.fname, Qt::Key_Escape);
    QVERIFY(loaded.messages.shown().isEmpty());
    QVERIFY(w.isVisible());
    // Alt+S clicks "&Save Edit".
    loaded.messages.queueAnswer(MessageAnswer::No);
    QTest::keyClick(w.fname, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(loaded.messages.shown().size(), 1);
    QCOMPARE(loaded.messages.shown(), QList<MessageBox>{SaveQuestion});
    verifyBrowsing(w);
}

void TestEdit::aboutKeepsEditMode()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.editButton->click();
    w.abtButton->click();
    QCOMPARE(loaded.messages.shown().size(), 2);
    QCOMPARE(w.editButton->property("tag").toString(), QStringLiteral("Save"));
    QVERIFY(!w.fname->isReadOnly());
    QCOMPARE(w.statusText(), QStringLiteral("Ready.  Option Selected: Edit Existing Record"));
}

void TestEdit::failedSaveStaysInEditMode()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const ContactRecord before = CurrentRecord;
    w.editButton->click();
    retype(w.lname, QStringLiteral("Unsaved"));
    loaded.messages.queueAnswer(MessageAnswer::Yes);
    platform::faults::reset();
    platform::faults::arm(1, EACCES);
    w.editButton->click();
    platform::faults::reset();

    QCOMPARE(loaded.messages.shown().size(), 2);
    QCOMPARE(loaded.messages.shown().at(1).icon, MessageIcon::Critical);
    QCOMPARE(loaded.drive.readFile(paths::DataFile), data);
    QCOMPARE(w.editButton->property("tag").toString(), QStringLiteral("Save"));
    QCOMPARE(w.lname->text(), QStringLiteral("Unsaved"));
    QCOMPARE(CurrentRecord, before);

    // Dropping the changes after the failure shows the stored record again.
    loaded.messages.queueAnswer(MessageAnswer::No);
    w.editButton->click();
    QCOMPARE(w.lname->text(), padded(QStringLiteral("Last1"), 20));
    verifyBrowsing(w);
}

QTEST_MAIN(TestEdit)
#include "tst_edit.moc"
