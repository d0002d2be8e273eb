// SPDX-License-Identifier: GPL-3.0-or-later
// What keys and pastes put into the boxes: an Alt+letter is never text, in any mode,
// whether or not a button has that key; a one-line box keeps the first line of what is
// pasted or dropped into it, tabs as spaces; text the program put there stays as it is.

#include "mainwindow/frmwork.h"
#include "mainwindow/lockablebox.h"
#include "mainwindow/lockablecombobox.h"
#include "tests/support/loadedwindow.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cardomine;
using testing::LoadedWindow;

namespace {

// Qt delivers a drop only inside a drag it runs itself; the box's handler is called
// directly instead.
class DropTarget : public LockableLineEdit
{
public:
    using LockableLineEdit::dropEvent;
};

QString textOf(QWidget *box)
{
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    return qobject_cast<QPlainTextEdit *>(box)->toPlainText();
}

} // namespace

class TestKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void altLettersNeverType_data();
    void altLettersNeverType();
    void listIgnoresAltLetters();
    void altGrTypes_data();
    void altGrTypes();
    void pasteKeepsFirstLine_data();
    void pasteKeepsFirstLine();
    void textAsLoadedStays();
};

void TestKeys::altLettersNeverType_data()
{
    QTest::addColumn<bool>("create"); // else edit
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("letters"); // keys whose button is disabled, or that none has

    QTest::newRow("create, first name") << true << u"fname"_s << u"odefxcz"_s;
    QTest::newRow("create, notes") << true << u"notes"_s << u"odefxcz"_s;
    QTest::newRow("edit, address") << false << u"address"_s << u"xnodfecz"_s;
    QTest::newRow("edit, notes") << false << u"notes"_s << u"xnodfecz"_s;
}

void TestKeys::altLettersNeverType()
{
    QFETCH(bool, create);
    QFETCH(QString, box);
    QFETCH(QString, letters);
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    (create ? w.createButton : w.editButton)->click();
    loaded.messages.clear();

    auto *target = w.findChild<QWidget *>(box);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(target, u"Ann"_s);
    for (const QChar letter : letters) {
        const auto key = Qt::Key(letter.toUpper().unicode());
        QTest::keyClick(target, key, Qt::AltModifier);
        QTest::keyClick(target, key, Qt::AltModifier | Qt::ShiftModifier);
    }
    QCOMPARE(textOf(target), u"Ann"_s);
    // No button answered either: a click would have shown a box or left the mode.
    QVERIFY(loaded.messages.shown().isEmpty());
    QCOMPARE(w.exitButton->isEnabled(), create);
}

void TestKeys::listIgnoresAltLetters()
{
    LockableComboBox list;
    list.addItems({u"Assistant"_s, u"Business"_s, u"Customer"_s});
    list.setCurrentIndex(1);
    QTest::keyClick(&list, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(list.currentIndex(), 1);
    // A plain letter still picks the item it starts.
    QTest::keyClick(&list, Qt::Key_C);
    QCOMPARE(list.currentIndex(), 2);
}

// AltGr is not Alt: X reports it as the group switch (Mod5), Windows as Ctrl+Alt. The
// layout's third level ("@", "€" on a German keyboard) is typed.
void TestKeys::altGrTypes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("@ with AltGr on X") << int(Qt::Key_At) << u"@"_s << int(Qt::GroupSwitchModifier);
    QTest::newRow("€ with AltGr on X") << 0x20AC /* € */ << u"€"_s << int(Qt::GroupSwitchModifier);
    QTest::newRow("€ with AltGr as Ctrl+Alt")
        << 0x20AC /* € */ << u"€"_s << int(Qt::ControlModifier | Qt::AltModifier);
}

void TestKeys::altGrTypes()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(int, modifiers);
    LockableLineEdit box;
    LockableNotesBox notes;
    for (QWidget *target : {static_cast<QWidget *>(&box), static_cast<QWidget *>(&notes)}) {
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key(key), text,
                            Qt::KeyboardModifiers(modifiers));
        QCOMPARE(textOf(target), text);
    }
}

void TestKeys::pasteKeepsFirstLine_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");

    QTest::newRow("Ctrl+V, two lines and a tab")
        << u"Ctrl+V"_s << QString() << 0 << u"Line1\nLine2\tTab"_s << u"Line1"_s;
    QTest::newRow("Ctrl+V, CR LF, into text")
        << u"Ctrl+V"_s << u"AB"_s << 1 << u"x\r\ny"_s << u"AxB"_s;
    QTest::newRow("Ctrl+V, a tab becomes a space")
        << u"Ctrl+V"_s << u"Ann"_s << 3 << u"\tLee"_s << u"Ann Lee"_s;
    QTest::newRow("Ctrl+V, other control characters go")
        << u"Ctrl+V"_s << QString() << 0 << u"a\u0007b\u0000c\u009Fd"_s << u"abcd"_s;
    QTest::newRow("Ctrl+V, line separator")
        << u"Ctrl+V"_s << QString() << 0 << u"Para\u2029graph"_s << u"Para"_s;
    QTest::newRow("Ctrl+V, starts with a line end")
        << u"Ctrl+V"_s << u"Ann"_s << 3 << u"\nLee"_s << u"Ann"_s;
    QTest::newRow("Ctrl+V, cut to the width first")
        << u"Ctrl+V"_s << QString() << 0 << u"Abcdefghijklmnopqrstuvwxyz\nX"_s
        << u"Abcdefghijklmnopqrst"_s;
    QTest::newRow("Shift+Insert, two lines")
        << u"Shift+Insert"_s << QString() << 0 << u"Up\rDown"_s << u"Up"_s;
    QTest::newRow("drop, two lines and a tab")
        << u"drop"_s << QString() << 0 << u"One\tTwo\nThree"_s << u"One Two"_s;
}

void TestKeys::pasteKeepsFirstLine()
{
    QFETCH(QString, way);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, pasted);
    QFETCH(QString, after);

    DropTarget box;
    box.setMaxLength(20);
    box.setText(before);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setCursorPosition(cursor);
    if (way == u"drop") {
        QMimeData data;
        data.setText(pasted);
        QDropEvent drop(QPointF(box.rect().center()), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        box.dropEvent(&drop);
        QVERIFY(drop.isAccepted());
    } else {
        QGuiApplication::clipboard()->setText(pasted);
        if (way == u"Ctrl+V")
            QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
        else
            QTest::keyClick(&box, Qt::Key_Insert, Qt::ShiftModifier);
    }
    QCOMPARE(box.text(), after);
    // The caret stands after what was kept.
    QCOMPARE(box.cursorPosition(), cursor + after.size() - before.size());
}

void TestKeys::textAsLoadedStays()
{
    // A record written by another program may hold a tab or a line break: it is shown,
    // and saved back, as stored, also when the user types beside it.
    LockableLineEdit box;
    const QString stored = u"Haworth\tParsonage\nX"_s;
    box.setText(stored);
    QCOMPARE(box.text(), stored);
    box.end(false);
    QTest::keyClicks(&box, u"Y"_s);
    QCOMPARE(box.text(), stored + u"Y"_s);
}

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
