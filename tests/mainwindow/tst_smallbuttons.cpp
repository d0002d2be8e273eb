// SPDX-License-Identifier: GPL-3.0-or-later
// About, Delete and Find: their boxes, and that they change nothing.

#include "dialogs/frmoptions.h"
#include "mainwindow/about.h"
#include "mainwindow/frmwork.h"
#include "tests/support/loadedwindow.h"
#include "tests/support/messageprinting.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

using namespace cardomine;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;
using testing::LoadedWindow;

namespace {

MessageBox info(const QString &title, const QString &text)
{
    return MessageBox{title, text, MessageIcon::Information, MessageButtons::Ok};
}

const QString SeeTitle = QStringLiteral("See 'C:\\Program Files\\Pelvarin\\Upgrade.txt'");
const QString SeeText = QStringLiteral("If you would like to make use of this button,\ryou can "
                                       "upgrade to Cardomine 2.0\rSee 'Upgrade.txt' for details.");

} // namespace

class TestSmallButtons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxes_data();
    void boxes();
    void optionsButtonOpensFreshDialog();
};

void TestSmallButtons::boxes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("useAccessKey");
    QTest::addColumn<QList<MessageBox>>("expected");

    const QList<MessageBox> deleteBoxes = {
        info(QStringLiteral("Upgrade to Version 2.0"),
             QStringLiteral("This button is not operational in this version of Cardomine.\rTo get "
                            "rid of a record, you can use the edit button,\rand replace the "
                            "existing record with new information.")),
        info(SeeTitle, SeeText)};
    const QList<MessageBox> findBoxes = {
        info(QStringLiteral("Upgrade to Version 2.0"),
             QStringLiteral("This button is not operational in this version of Cardomine.")),
        info(SeeTitle, SeeText)};
    const QList<MessageBox> aboutBoxes = {
        info(about::creditsTitle(), about::creditsText()),
        info(QStringLiteral("Please Help If You Can!"), about::donationsText())};
    QVERIFY(about::donationsText().startsWith(
        QStringLiteral("Donations Are Glady Accepted.\rThey Help To Finance My Programs And "
                       "Copyrights.\r")));

    for (bool key : {false, true}) {
        const char *how = key ? "access key" : "click";
        QTest::addRow("delete, %s", how) << QStringLiteral("deleteButton") << key << deleteBoxes;
        QTest::addRow("find, %s", how) << QStringLiteral("findButton") << key << findBoxes;
        QTest::addRow("about, %s", how) << QStringLiteral("abtButton") << key << aboutBoxes;
    }
}

void TestSmallButtons::boxes()
{
    QFETCH(QString, button);
    QFETCH(bool, useAccessKey);
    QFETCH(QList<MessageBox>, expected);

    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.ScrollBar->setValue(2);
    const QString status = w.statusText();
    const QString name = w.fname->text();
    const QString notes = w.notes->toPlainText();

    auto *b = w.findChild<QPushButton *>(button);
    QVERIFY(b);
    if (useAccessKey) {
        const int amp = b->text().indexOf(QLatin1Char('&'));
        const QChar key = b->text().at(amp + 1).toUpper();
        QTest::keyClick(&w, Qt::Key(key.unicode()), Qt::AltModifier);
    } else {
        b->click();
    }

    // An access key clicks its button the way a click animates: a moment later.
    QTRY_COMPARE(loaded.messages.shown().size(), expected.size());
    QCOMPARE(loaded.messages.shown(), expected);
    QVERIFY(loaded.messages.dialogs().isEmpty()); // Find never opens the find dialog
    QCOMPARE(w.statusText(), status);
    QCOMPARE(w.fname->text(), name);
    QCOMPARE(w.notes->toPlainText(), notes);
    QCOMPARE(w.ScrollBar->value(), 2);
    QVERIFY(w.fname->isReadOnly());
}

void TestSmallButtons::optionsButtonOpensFreshDialog()
{
    LoadedWindow loaded(2);
    QVERIFY(loaded.isLoaded());
    FrmWork &w = *loaded.window;
    const QString status = w.statusText();

    // First opening: change everything, then OK.
    bool firstSawDefaults = false;
    loaded.messages.queueDialogAction([&](QDialog &dialog) {
        auto &options = static_cast<FrmOptions &>(dialog);
        firstSawDefaults = options.Option1->isChecked() && options.Check1->isChecked() &&
                           options.Check2->isChecked();
        options.Option2->setChecked(true);
        options.Check1->setChecked(false);
        options.cmdOK->click();
        return int(QDialog::Accepted);
    });
    // Second opening: it starts from the design settings again.
    bool secondSawDefaults = false;
    loaded.messages.queueDialogAction([&](QDialog &dialog) {
        auto &options = static_cast<FrmOptions &>(dialog);
        secondSawDefaults = options.Option1->isChecked() && !options.Option2->isChecked() &&
                            options.Check1->isChecked() && options.Check2->isChecked();
        options.cmdCancel->click();
        return int(QDialog::Rejected);
    });
    w.optnButton->click();
    w.optnButton->click();

    QCOMPARE(loaded.messages.dialogs(),
             QStringList({QStringLiteral("frmOptions"), QStringLiteral("frmOptions")}));
    QVERIFY(firstSawDefaults);
    QVERIFY(secondSawDefaults);
    // OK showed the two version boxes; Cancel showed none.
    QCOMPARE(loaded.messages.shown().size(), 2);
    QCOMPARE(loaded.messages.shown().at(0).title, QStringLiteral("Upgrade To Version 2.0"));
    QCOMPARE(w.statusText(), status);
    QVERIFY(loaded.messages.unexpected().isEmpty());
}

QTEST_MAIN(TestSmallButtons)
#include "tst_smallbuttons.moc"
