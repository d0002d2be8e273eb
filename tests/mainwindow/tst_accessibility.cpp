// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as assistive technology sees it: every control that takes the
// focus has a name, boxes are named by their captions, buttons by their captions and
// tooltips, and the scroll bar says which record it shows.
#include "mainwindow/frmwork.h"
#include "tests/support/loadedwindow.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

namespace {

// Every interface below root, depth first.
void collect(QAccessibleInterface *iface, QList<QAccessibleInterface *> &out, int depth = 0)
{
    if (!iface || depth > 20)
        return;
    out.append(iface);
    for (int i = 0; i < iface->childCount(); ++i)
        collect(iface->child(i), out, depth + 1);
}

QString accessibleName(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

QString accessibleDescription(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description);
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noFocusableControlIsNameless();
    void boxesAreNamedByTheirCaptions_data();
    void boxesAreNamedByTheirCaptions();
    void buttonsAreNamedAndDescribed();
    void scrollBarSaysWhichRecord();
    void captionsAddNoAccessKeys();
};

void TestAccessibility::noFocusableControlIsNameless()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    QList<QAccessibleInterface *> all;
    collect(QAccessible::queryAccessibleInterface(loaded.window), all);

    int focusable = 0;
    QStringList nameless;
    for (QAccessibleInterface *iface : std::as_const(all)) {
        if (!iface->state().focusable)
            continue;
        ++focusable;
        if (iface->text(QAccessible::Name).trimmed().isEmpty()) {
            const QObject *object = iface->object();
            nameless.append(object ? object->objectName() + u" ("_s +
                                         QString::fromLatin1(object->metaObject()->className()) +
                                         u")"_s
                                   : u"?"_s);
        }
    }
    // Twelve boxes, the list, the notes, the scroll bar and seven buttons at least.
    QVERIFY2(focusable >= 22, qPrintable(QString::number(focusable)));
    QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(u", "_s)));
}

void TestAccessibility::boxesAreNamedByTheirCaptions_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::newRow("fname") << u"fname"_s << u"First Name"_s << QString();
    QTest::newRow("company") << u"company"_s << u"Company (If Applicable)"_s << QString();
    QTest::newRow("statetext") << u"statetext"_s << u"State"_s << QString();
    QTest::newRow("ID") << u"ID"_s << u"Client/Customer/Contact ID#"_s << QString();
    QTest::newRow("pagermobile") << u"pagermobile"_s << u"Pager/Mobile #"_s << QString();
    QTest::newRow("fax") << u"fax"_s << u"Fax Or Email"_s << QString();
    QTest::newRow("cboCustomer") << u"cboCustomer"_s << u"Type"_s
                                 << u"Click Here To Change Between Different Data Types."_s;
    QTest::newRow("notes")
        << u"notes"_s << u"Notes"_s
        << u"Here Is Where You Can Create, Edit, Or Read Notes About The Current Contact."_s;
}

void TestAccessibility::boxesAreNamedByTheirCaptions()
{
    QFETCH(QString, box);
    QFETCH(QString, name);
    QFETCH(QString, description);
    FrmWork window;
    auto *widget = window.findChild<QWidget *>(box);
    QVERIFY(widget);
    QCOMPARE(widget->accessibleName(), name);
    QCOMPARE(widget->accessibleDescription(), description);
    // The caption label is linked to its box.
    bool linked = false;
    for (QLabel *label : window.findChildren<QLabel *>())
        linked = linked || label->buddy() == widget;
    QVERIFY(linked);
}

void TestAccessibility::buttonsAreNamedAndDescribed()
{
    FrmWork window;
    const QList<std::tuple<QPushButton *, QString, QString>> buttons{
        {window.abtButton, u"About"_s, QString()},
        {window.optnButton, u"Options"_s, u"Click Here To Configure Program Options"_s},
        {window.createButton, u"Create New"_s, u"Click Here To Create A New Record"_s},
        {window.editButton, u"Edit"_s, u"Click Here To Edit The Current Record"_s},
        {window.deleteButton, u"Delete"_s, u"Click Here To Delete The Current Record"_s},
        {window.findButton, u"Find"_s, u"Click Here To Find A Record"_s},
        {window.exitButton, u"Exit Cardomine"_s, QString()},
    };
    for (const auto &[button, name, description] : buttons) {
        QCOMPARE(accessibleName(button), name);
        QCOMPARE(accessibleDescription(button), description);
    }
    // The modes change captions and tooltips; the names follow.
    window.editButton->setText(u"&Save Edit"_s);
    window.editButton->setToolTip(u"Click Here To Save Your Editing"_s);
    QCOMPARE(accessibleName(window.editButton), u"Save Edit"_s);
    QCOMPARE(accessibleDescription(window.editButton), u"Click Here To Save Your Editing"_s);
}

void TestAccessibility::scrollBarSaysWhichRecord()
{
    LoadedWindow loaded(3);
    QVERIFY(loaded.isLoaded());
    QScrollBar *bar = loaded.window->ScrollBar;
    QCOMPARE(accessibleName(bar), u"Record 1 of 3"_s);
    bar->setValue(3);
    QCOMPARE(loaded.window->fname->text().trimmed(), u"First3"_s);
    QCOMPARE(accessibleName(bar), u"Record 3 of 3"_s);
    bar->setMaximum(4);
    QCOMPARE(accessibleName(bar), u"Record 3 of 4"_s);
}

void TestAccessibility::captionsAddNoAccessKeys()
{
    FrmWork window;
    for (QLabel *label : window.findChildren<QLabel *>())
        QVERIFY2(!label->text().contains(u'&'), qPrintable(label->text()));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
