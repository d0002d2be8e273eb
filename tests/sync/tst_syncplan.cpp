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
        QTest::addColumn<Action>("action");
        using F = FileState;
        using A = Action;
        QTest::newRow("quiet") << true << false << F::Unchanged << true << A::Nothing;
        // The phone's card stays the phone's: a changed record is merged into it.
        QTest::newRow("record edited") << true << true << F::Unchanged << false << A::WriteOut;
        QTest::newRow("phone edited") << true << false << F::Changed << false << A::TakeIn;
        QTest::newRow("phone rewrote same values")
            << true << false << F::Changed << true << A::Nothing;
        QTest::newRow("both edited") << true << true << F::Changed << false << A::Conflict;
        QTest::newRow("both edited alike") << true << true << F::Changed << true << A::Nothing;
        // A lost state file: the phone's card is only added to, never narrowed.
        QTest::newRow("state lost, differing")
            << false << false << F::Changed << false << A::Conflict;
        QTest::newRow("state lost, equal") << false << false << F::Changed << true << A::Nothing;
        QTest::newRow("new contact") << false << true << F::None << false << A::Create;
        QTest::newRow("vCard deleted") << true << false << F::None << false << A::Restore;
        QTest::newRow("vCard deleted, record edited")
            << true << true << F::None << false << A::Restore;
        // Never stuck: a vCard that does not parse is left alone.
        QTest::newRow("unreadable") << true << true << F::Unreadable << false << A::LeaveAlone;
        QTest::newRow("unreadable, unknown")
            << false << false << F::Unreadable << false << A::LeaveAlone;
    }
    void plan()
    {
        QFETCH(bool, known);
        QFETCH(bool, recordChanged);
        QFETCH(FileState, file);
        QFETCH(bool, sameValues);
        QFETCH(Action, action);
        QCOMPARE(planContact({known, recordChanged, file, sameValues}), action);
    }
};

QTEST_GUILESS_MAIN(TestSyncPlan)
#include "tst_syncplan.moc"
