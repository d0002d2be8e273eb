// SPDX-License-Identifier: GPL-3.0-or-later
// Every way of closing the main window asks the one question; No changes nothing.

#include "datastore/paths.h"
#include "mainwindow/frmwork.h"
#include "tests/support/loadedwindow.h"
#include "tests/support/messageprinting.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace cardomine;
using platform::MessageAnswer;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;
using testing::LoadedWindow;

namespace {

const MessageBox ExitQuestion{QStringLiteral("Exit?"),
                              QStringLiteral("Are You Sure You Want To Close The Archivane?"),
                              MessageIcon::Question, MessageButtons::YesNo};

enum class Mode
{
    Browsing,
    Create,
    Edit
};
enum class Way
{
    ExitButton,
    Escape,
    AltX,
    CloseRequest
};

// What the user sees, to prove a No leaves it all as it was.
QStringList snapshot(FrmWork &w)
{
    QStringList s;
    const QList<QLineEdit *> boxes = {w.fname,     w.lname,     w.company,     w.address,
                                      w.city,      w.statetext, w.zip,         w.ID,
                                      w.homephone, w.workphone, w.pagermobile, w.fax};
    for (QLineEdit *b : boxes)
        s << b->text() + (b->isReadOnly() ? QStringLiteral("|ro") : QStringLiteral("|rw"));
    s << w.notes->toPlainText() + (w.notes->isReadOnly() ? QStringLiteral("|ro") : QString());
    for (QPushButton *b : {w.abtButton, w.optnButton, w.createButton, w.editButton, w.deleteButton,
                           w.findButton, w.exitButton})
        s << b->text() + QString::number(b->isEnabled()) + b->toolTip();
    s << QString::number(w.ScrollBar->value()) + QString::number(w.ScrollBar->maximum()) +
             QString::number(w.ScrollBar->isEnabled());
    s << w.statusText() << w.editButton->property("tag").toString();
    return s;
}

} // namespace

class TestExit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void closing_data();
    void closing();
};

void TestExit::closing_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<Way>("way");
    QTest::addColumn<MessageAnswer>("answer");

    const std::pair<const char *, Way> browsingWays[] = {{"exit button", Way::ExitButton},
                                                         {"Escape", Way::Escape},
                                                         {"Alt+X", Way::AltX},
                                                         {"close box", Way::CloseRequest}};
    for (const auto &[name, way] : browsingWays) {
        QTest::addRow("browsing, %s, Yes", name) << Mode::Browsing << way << MessageAnswer::Yes;
        QTest::addRow("browsing, %s, No", name) << Mode::Browsing << way << MessageAnswer::No;
    }
    QTest::newRow("create mode, close box, Yes")
        << Mode::Create << Way::CloseRequest << MessageAnswer::Yes;
    QTest::newRow("create mode, close box, No")
        << Mode::Create << Way::CloseRequest << MessageAnswer::No;
    QTest::newRow("edit mode, close box, Yes")
        << Mode::Edit << Way::CloseRequest << MessageAnswer::Yes;
    QTest::newRow("edit mode, close box, No")
        << Mode::Edit << Way::CloseRequest << MessageAnswer::No;
}

void TestExit::closing()
{
    QFETCH(Mode, mode);
    QFETCH(Way, way);
    QFETCH(MessageAnswer, answer);

    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    bool splashClosed = false;
    w.setBeforeClose([&] { splashClosed = true; });
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QByteArray data = loaded.drive.readFile(paths::DataFile);
    const QByteArray index = loaded.drive.readFile(paths::IndexFile);

    if (mode == Mode::Create) {
        w.createButton->click();
        QTest::keyClicks(w.fname, QStringLiteral("Unsaved"));
    } else if (mode == Mode::Edit) {
        w.editButton->click();
        QTest::keyClicks(w.lname, QStringLiteral("X"));
    }
    loaded.messages.clear();
    const QStringList before = snapshot(w);

    loaded.messages.queueAnswer(answer);
    switch (way) {
    case Way::ExitButton:
        w.exitButton->click();
        break;
    case Way::Escape:
        QTest::keyClick(w.fname, Qt::Key_Escape);
        break;
    case Way::AltX:
        QTest::keyClick(w.fname, Qt::Key_X, Qt::AltModifier);
        break;
    case Way::CloseRequest:
        w.close();
        break;
    }

    // An access key clicks its button a moment later, as a click animates.
    QTRY_COMPARE(loaded.messages.shown().size(), 1);
    QCOMPARE(loaded.messages.shown(), QList<MessageBox>{ExitQuestion});
    // Closing never writes.
    QCOMPARE(loaded.drive.readFile(paths::DataFile), data);
    QCOMPARE(loaded.drive.readFile(paths::IndexFile), index);
    if (answer == MessageAnswer::Yes) {
        QVERIFY(!w.isVisible());
        QVERIFY(splashClosed);
    } else {
        QVERIFY(w.isVisible());
        QVERIFY(!splashClosed);
        QCOMPARE(snapshot(w), before);
    }
}

QTEST_MAIN(TestExit)
#include "tst_exit.moc"
