// SPDX-License-Identifier: GPL-3.0-or-later
// The notes limit in the window: what would pass it is refused at entry, and a
// contact whose notes file is past it is still edited and saved.

#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/limitednotesbox.h"
#include "tests/support/loadedwindow.h"
#include "tests/support/messageprinting.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace cardomine;
using namespace Qt::StringLiterals;
using platform::MessageAnswer;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;
using testing::LoadedWindow;

namespace {

const MessageBox SaveQuestion{u"Save Record?"_s, u"Are You SURE You Want To SAVE These Changes?"_s,
                              MessageIcon::Exclamation, MessageButtons::YesNo};
const MessageBox NotesFull{notesFullTitle(), notesFullText(), MessageIcon::Exclamation,
                           MessageButtons::Ok};

// Notes whose file takes all but `room` bytes of the limit, lines ending in line
// feeds as the box ends them.
QString notesLeaving(qint64 room)
{
    const qint64 text = notes::FileLimit - room - 2;
    const QString line = QString(68, u'n') + u'\n';
    return line.repeated(qsizetype(text / (line.size() + 1))) +
           QString(qsizetype(text % (line.size() + 1)), u'e');
}

} // namespace

class TestNotesLimit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void insertionPastTheLimitRefused_data();
    void insertionPastTheLimitRefused();
    void notesPastTheLimitKeptAsTheyAre();
};

void TestNotesLimit::insertionPastTheLimitRefused_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<qint64>("room");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");

    QTest::newRow("typed into the last byte") << u"type"_s << qint64(1) << u"x"_s << true;
    QTest::newRow("typed past it") << u"type"_s << qint64(0) << u"x"_s << false;
    QTest::newRow("Enter with two bytes left") << u"enter"_s << qint64(2) << u"\n"_s << true;
    QTest::newRow("Enter with one byte left") << u"enter"_s << qint64(1) << u"\n"_s << false;
    QTest::newRow("paste that just fits") << u"paste"_s << qint64(10) << u"0123456789"_s << true;
    QTest::newRow("paste a byte too long") << u"paste"_s << qint64(10) << u"0123456789A"_s << false;
    QTest::newRow("paste whose line ends take two")
        << u"paste"_s << qint64(5) << u"ab\r\ncd"_s << false;
    QTest::newRow("dropped text that fits") << u"drop"_s << qint64(4) << u"abcd"_s << true;
    QTest::newRow("dropped text past it") << u"drop"_s << qint64(3) << u"abcd"_s << false;
}

// Typing, Enter, a paste and a drop that would make the notes file larger than the
// limit change nothing and say why; up to the limit they are taken.
void TestNotesLimit::insertionPastTheLimitRefused()
{
    QFETCH(QString, how);
    QFETCH(qint64, room);
    QFETCH(QString, text);
    QFETCH(bool, taken);

    LoadedWindow loaded;
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.editButton->click();
    const QString before = notesLeaving(room);
    w.notes->setPlainText(before);
    QCOMPARE(notes::fileBytes(w.notes->toPlainText()), notes::FileLimit - room);
    w.notes->setFocus();
    w.notes->moveCursor(QTextCursor::End);

    if (how == u"type") {
        QTest::keyClicks(w.notes, text);
    } else if (how == u"enter") {
        QTest::keyClick(w.notes, Qt::Key_Return);
    } else if (how == u"paste") {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(w.notes, Qt::Key_V, Qt::ControlModifier);
    } else {
        // Dropped at the end of the last line.
        QMimeData data;
        data.setText(text);
        const QPoint end = w.notes->cursorRect().center();
        QDragEnterEvent enter(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.notes->viewport(), &enter);
        QDragMoveEvent move(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.notes->viewport(), &move);
        QDropEvent drop(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.notes->viewport(), &drop);
    }

    QString expected = before;
    if (taken)
        expected += QString(text).replace(u"\r\n"_s, u"\n"_s);
    QCOMPARE(w.notes->toPlainText(), expected);
    QCOMPARE(loaded.messages.shown(), taken ? QList<MessageBox>() : QList<MessageBox>{NotesFull});
    QVERIFY(notes::fileBytes(w.notes->toPlainText()) <= notes::FileLimit);
}

// A notes file past the limit (another program's): the box shows its beginning and
// stays locked in edit mode; Save Edit stores the record and leaves the file as it is.
void TestNotesLimit::notesPastTheLimitKeptAsTheyAre()
{
    LoadedWindow loaded;
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QByteArray big = QByteArray("0123456789abcdef\r\n").repeated(notes::FileLimit / 16);
    loaded.drive.writeFile(notes::pathFor(1), big);
    w.ScrollBar->setValue(2);
    w.ScrollBar->setValue(1);
    QVERIFY(w.notes->toPlainText().endsWith(notes::cutNotice().mid(2)));

    for (int round = 1; round <= 2; ++round) {
        w.editButton->click();
        QVERIFY(w.notes->isReadOnly());
        w.workphone->setText(u"555.000%1"_s.arg(round));
        loaded.messages.queueAnswer(MessageAnswer::Yes);
        w.editButton->click();
        QCOMPARE(loaded.messages.shown(), QList<MessageBox>{SaveQuestion});
        loaded.messages.clear();
        QCOMPARE(w.editTag(), QString());
        const QByteArray phone = QByteArray("555.000").append(QByteArray::number(round));
        QVERIFY(loaded.drive.readFile(paths::DataFile).contains(phone));
        QCOMPARE(loaded.drive.readFile(notes::pathFor(1)), big);
    }
}

QTEST_MAIN(TestNotesLimit)
#include "tst_noteslimit.moc"
