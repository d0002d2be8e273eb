// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/realworld.h"

#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/frmwork.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <memory>

namespace cardomine::testing {

namespace {

// A card file of `records` contacts, sealed as the program leaves it, each kept.
void saveContacts(Situation &s, int records)
{
    QByteArray data;
    for (int i = 1; i <= records; ++i)
        data += LoadedWindow::recordBytes(i);
    s.drive.writeFile(paths::DataFile, data);
    s.drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(records));
    s.drive.writeFile(notes::pathFor(2), "Notes of 2\r\n");
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);
    for (int i = 1; i <= records; ++i)
        s.keep(i);
}

// Where a click lands on the scroll bar's right-hand arrow, as the style draws it.
QPoint nextArrow(QScrollBar *bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    return bar->style()
        ->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, bar)
        .center();
}

// Item 6: the data folder goes away (a USB stick pulled out) and the user clicks the
// scroll bar's arrow once. A real box is modal: its event loop runs until the user
// answers, and the mouse release goes to the box, not to the scroll bar.
void arrowClickOnAnUnreadableRecord(Situation &s)
{
    saveContacts(s, 3);
    auto window = std::make_unique<FrmWork>();
    QCOMPARE(startup::loadMainWindow(*window), startup::LoadResult::Ready);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    s.messages.clear();

    const QString folder = s.drive.native(paths::DataFolder);
    const QString away = folder + QStringLiteral(".unplugged");
    QVERIFY(QDir().rename(folder, away));

    int boxes = 0;
    int open = 0;
    s.messages.onShow = [&](const platform::MessageBox &) {
        ++boxes;
        // The user reads the box for a second before pressing OK. Boxes opened on top
        // of open boxes are answered at once, so a runaway ends.
        if (++open <= 2)
            QTest::qWait(1200);
        --open;
    };
    QScrollBar *bar = window->ScrollBar;
    const QPoint arrow = nextArrow(bar);
    QTest::mousePress(bar, Qt::LeftButton, {}, arrow);
    // OK pressed; the mouse button is let go a moment later.
    QTest::qWait(700);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, arrow);
    QTest::qWait(300);
    s.messages.onShow = nullptr;

    QCOMPARE(boxes, 1);
    QCOMPARE(s.messages.shown().size(), 1);
    QCOMPARE(s.messages.shown().first().title, QStringLiteral("File Problem!"));
    QCOMPARE(bar->value(), 1);
    QVERIFY(!bar->isSliderDown());
    QCOMPARE(window->fname->text().trimmed(), QStringLiteral("First1"));

    // The stick comes back: the next click shows the next record.
    QVERIFY(QDir().rename(away, folder));
    QTest::mouseClick(bar, Qt::LeftButton, {}, nextArrow(bar));
    QCOMPARE(bar->value(), 2);
    QCOMPARE(window->fname->text().trimmed(), QStringLiteral("First2"));
    QCOMPARE(s.messages.shown().size(), 1);
}

} // namespace

QList<RealWorldCase> windowSituations()
{
    return {
        {"06 arrow click on an unreadable record", arrowClickOnAnUnreadableRecord},
    };
}

} // namespace cardomine::testing
