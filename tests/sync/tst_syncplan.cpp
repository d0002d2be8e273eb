// SPDX-License-Identifier: GPL-3.0-or-later
// What the pass does with one contact, for each way its two sides can stand.
#include "sync/plan.h"

#include <QTest>

using namespace cardomine::sync;

Q_DECLARE_METATYPE(FileState)
Q_DECLARE_METATYPE(Action)

class TestSyncPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plan_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("recordChanged");
        QTest::addColumn<FileState>("file");
        QTest::addColumn<bool>("sameValues");
        QTest::addColumn<bool>("base"); // the last pass's values remembered one by one
        QTest::addColumn<Action>("action");
        using F = FileState;
        using A = Action;
        QTest::newRow("quiet") << true << false << F::Unchanged << true << false << A::Nothing;
        // The phone's card stays the phone's: a changed record is merged into it.
        QTest::newRow("record edited")
            << true << true << F::Unchanged << false << false << A::WriteOut;
        QTest::newRow("phone edited") << true << false << F::Changed << false << false << A::TakeIn;
        QTest::newRow("phone rewrote same values")
            << true << false << F::Changed << true << false << A::Nothing;
        // Merge by value: each side's changes go to the other, a value changed on both
        // is a conflict of that value alone.
        QTest::newRow("both edited") << true << true << F::Changed << false << true << A::Merge;
        QTest::newRow("both edited alike, values remembered")
            << true << true << F::Changed << true << true << A::Nothing;
        QTest::newRow("phone edited, values remembered")
            << true << false << F::Changed << false << true << A::TakeIn;
        QTest::newRow("record edited, values remembered")
            << true << true << F::Unchanged << false << true << A::WriteOut;
        // A state an earlier version wrote: a whole-contact conflict.
        QTest::newRow("both edited, values not remembered")
            << true << true << F::Changed << false << false << A::Conflict;
        QTest::newRow("both edited alike")
            << true << true << F::Changed << true << false << A::Nothing;
        // A lost state file: the phone's card is only added to, never narrowed.
        QTest::newRow("state lost, differing")
            << false << false << F::Changed << false << false << A::Conflict;
        QTest::newRow("state lost, equal")
            << false << false << F::Changed << true << false << A::Nothing;
        QTest::newRow("new contact") << false << true << F::None << false << false << A::Create;
        QTest::newRow("vCard deleted") << true << false << F::None << false << false << A::Restore;
        QTest::newRow("vCard deleted, record edited")
            << true << true << F::None << false << false << A::Restore;
        // Never stuck: a vCard that does not parse is left alone.
        QTest::newRow("unreadable")
            << true << true << F::Unreadable << false << false << A::LeaveAlone;
        QTest::newRow("unreadable, unknown")
            << false << false << F::Unreadable << false << false << A::LeaveAlone;
    }
    void plan()
    {
        QFETCH(bool, known);
        QFETCH(bool, recordChanged);
        QFETCH(FileState, file);
        QFETCH(bool, sameValues);
        QFETCH(bool, base);
        QFETCH(Action, action);
        QCOMPARE(planContact({known, recordChanged, file, sameValues, base}), action);
    }
};

QTEST_GUILESS_MAIN(TestSyncPlan)
#include "tst_syncplan.moc"
