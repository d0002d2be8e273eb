// SPDX-License-Identifier: GPL-3.0-or-later
// Every file operation of every user operation fails once, with each of the errors a
// full disk, a failing disk and a permission change give. The user hears of it in one
// clear box (or the failure loses nothing), the window stays consistent, and the next
// start finds everything saved before. Then, for the operations that write or unseal
// the card file, a second failure follows the first at every later operation: the
// clean-up after a failure (resealing, putting a torn write back) fails too. Both
// sweeps run with the attributes in extended attributes and in the sidecar file.

#include "platform/attributestore.h"
#include "platform/faults.h"
#include "tests/reliability/useroperations.h"

#include <QTest>

#include <cerrno>

using namespace cardomine;
using namespace cardomine::testing;
namespace faults = cardomine::platform::faults;
namespace attributestore = cardomine::platform::attributestore;

Q_DECLARE_METATYPE(cardomine::testing::UserOperation)

namespace {

qint64 g_faultPoints = 0;

struct Fault
{
    qint64 at = 0; // 0: none
    int errorCode = 0;
};

struct Outcome
{
    QString problem; // empty when the invariant holds
    int boxes = 0;
    qint64 operations = 0; // made by the run with its faults
};

// One run of op with up to two faults, checked against the clean run.
Outcome runWithFaults(UserOperation op, const CleanRun &clean, Fault first, Fault second,
                      int maxBoxes)
{
    Outcome outcome;
    const QString where = QStringLiteral("%1, fault %2 (error %3), then %4 (error %5): ")
                              .arg(QLatin1String(operationName(op)))
                              .arg(first.at)
                              .arg(first.errorCode)
                              .arg(second.at)
                              .arg(second.errorCode);
    OperationRun run(op);
    if (!run.prepare()) {
        outcome.problem = where + QStringLiteral("not prepared");
        return outcome;
    }
    run.acceptOutcomeOf(clean);
    faults::reset();
    faults::arm(first.at, first.errorCode);
    if (second.at > 0)
        faults::armSecond(second.at, second.errorCode);
    run.act();
    outcome.operations = faults::operationCount();
    faults::reset();
    ++g_faultPoints;

    outcome.boxes = run.errorBoxes();
    // A failure the platform lets pass (closing a file after reading it) loses
    // nothing: the operation must then be complete.
    if (outcome.boxes == 0 && !run.completed())
        outcome.problem = where + QStringLiteral("failed without a box");
    else if (outcome.boxes > maxBoxes)
        outcome.problem = where + QStringLiteral("%1 error boxes").arg(outcome.boxes);
    else if (const QString p = run.windowProblem(); !p.isEmpty())
        outcome.problem = where + p;
    if (!outcome.problem.isEmpty())
        return outcome;

    bool repaired = false;
    if (const QString fresh = run.checkFreshStart(&repaired); !fresh.isEmpty())
        outcome.problem = where + fresh;
    // Failures end with the files sealed again, or the next start seals them: only an
    // unfinished first run leaves something for the repair.
    else if (repaired && op != UserOperation::FirstRun)
        outcome.problem = where + QStringLiteral("the next start repaired the card file");
    return outcome;
}

// The rows of a sweep: each operation with either attribute store, and the errors
// its single faults take. The program treats every error alike, so beyond the first
// five operations on extended attributes one error (a full disk) keeps the run short.
void addRows(const QList<UserOperation> &ops)
{
    QTest::addColumn<UserOperation>("op");
    QTest::addColumn<bool>("sidecar");
    QTest::addColumn<QList<int>>("errors");
    for (const bool sidecar : {false, true}) {
        for (const UserOperation op : ops) {
            const bool first = !sidecar && op <= UserOperation::EditSave;
            QTest::addRow("%s%s", operationName(op), sidecar ? ", sidecar" : "")
                << op << sidecar << (first ? QList<int>{ENOSPC, EIO, EACCES} : QList<int>{ENOSPC});
        }
    }
}

} // namespace

class TestFaultSweep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        faults::reset();
        attributestore::forceSidecar(false);
    }
    void cleanupTestCase() { qInfo("fault sweep: %lld fault points", g_faultPoints); }

    void everyOperationFailsOnce_data() { addRows(allUserOperations()); }
    void everyOperationFailsOnce();
    void secondFailureWhileCleaningUp_data();
    void secondFailureWhileCleaningUp();

private:
    CleanRun checkedCleanRun(UserOperation op);
};

CleanRun TestFaultSweep::checkedCleanRun(UserOperation op)
{
    // A clean run counts the operation's file operations and gives the files a
    // complete operation leaves.
    const CleanRun clean = cleanRun(op);
    [&] {
        QVERIFY2(clean.prepared, operationName(op));
        QVERIFY(clean.completed);
        QCOMPARE(clean.errorBoxes, 0);
        QCOMPARE(clean.windowProblem, QString());
        QVERIFY(clean.fileOperations > 0);
    }();
    return clean;
}

void TestFaultSweep::everyOperationFailsOnce()
{
    QFETCH(UserOperation, op);
    QFETCH(bool, sidecar);
    attributestore::forceSidecar(sidecar);
    const CleanRun clean = checkedCleanRun(op);
    if (QTest::currentTestFailed())
        return;

    QFETCH(QList<int>, errors);
    const qint64 count = clean.fileOperations;
    int silent = 0;
    for (const int errorCode : errors) {
        for (qint64 k = 1; k <= count; ++k) {
            const Outcome outcome = runWithFaults(op, clean, {k, errorCode}, {}, 1);
            QVERIFY2(outcome.problem.isEmpty(), qPrintable(outcome.problem));
            silent += outcome.boxes == 0 ? 1 : 0;
        }
    }
    qInfo("%s: %lld file operations, %lld fault points, %d failures passed without a box",
          operationName(op), count, errors.size() * count, silent);
}

void TestFaultSweep::secondFailureWhileCleaningUp_data()
{
    addRows({UserOperation::Navigation, UserOperation::CreateSave, UserOperation::EditSave,
             UserOperation::SequentialCreateSave, UserOperation::SequentialEditSave,
             UserOperation::CreateDiscard});
}

// Each failure the user meets is told in its own box.
void TestFaultSweep::secondFailureWhileCleaningUp()
{
    QFETCH(UserOperation, op);
    QFETCH(bool, sidecar);
    attributestore::forceSidecar(sidecar);
    const CleanRun clean = checkedCleanRun(op);
    if (QTest::currentTestFailed())
        return;

    qint64 pairs = 0;
    // The disk fills up at a write (the first fault); what the program does about it
    // fails at every step after (the second). A failure that passed without a box left
    // the operation to go on as a clean run would: a second fault after it is one the
    // single sweep makes.
    for (const qint64 k : clean.writeOperations) {
        const Outcome first = runWithFaults(op, clean, {k, ENOSPC}, {}, 1);
        if (first.boxes == 0)
            continue;
        for (qint64 m = k + 1; m <= first.operations; ++m, ++pairs) {
            const Outcome outcome = runWithFaults(op, clean, {k, ENOSPC}, {m, EIO}, 2);
            QVERIFY2(outcome.problem.isEmpty(), qPrintable(outcome.problem));
        }
    }
    qInfo("%s: %lld pairs of faults", operationName(op), pairs);
}

QTEST_MAIN(TestFaultSweep)
#include "tst_faultsweep.moc"
