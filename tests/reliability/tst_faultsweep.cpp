// Every file operation of every user operation fails once, with each of the errors a
// full disk, a failing disk and a permission change give. The user hears of it in one
// clear box (or the failure loses nothing), the window stays consistent, and the next
// start finds everything saved before.

#include "platform/faults.h"
#include "tests/reliability/useroperations.h"

#include <QTest>

#include <cerrno>

using namespace cardomine;
using namespace cardomine::testing;
namespace faults = cardomine::platform::faults;

Q_DECLARE_METATYPE(cardomine::testing::UserOperation)

namespace {
qint64 g_faultPoints = 0;
}

class TestFaultSweep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { faults::reset(); }
    void cleanupTestCase() { qInfo("fault sweep: %lld fault points", g_faultPoints); }

    void everyOperationFailsOnce_data();
    void everyOperationFailsOnce();
};

void TestFaultSweep::everyOperationFailsOnce_data()
{
    QTest::addColumn<UserOperation>("op");
    for (UserOperation op : allUserOperations())
        QTest::newRow(operationName(op)) << op;
}

void TestFaultSweep::everyOperationFailsOnce()
{
    QFETCH(UserOperation, op);

    // A clean run counts the operation's file operations and gives the files a
    // complete operation leaves.
    const CleanRun clean = cleanRun(op);
    QVERIFY2(clean.prepared, operationName(op));
    QVERIFY(clean.completed);
    QCOMPARE(clean.errorBoxes, 0);
    QCOMPARE(clean.windowProblem, QString());
    const qint64 count = clean.fileOperations;
    QVERIFY(count > 0);

    int silent = 0;
    for (const int errorCode : {ENOSPC, EIO, EACCES}) {
        for (qint64 k = 1; k <= count; ++k) {
            const QByteArray where = QByteArray(operationName(op)) + ", operation " +
                                     QByteArray::number(k) + " of " + QByteArray::number(count) +
                                     ", error " + QByteArray::number(errorCode);
            OperationRun run(op);
            QVERIFY2(run.prepare(), where.constData());
            run.acceptOutcomeOf(clean);

            faults::reset();
            faults::arm(k, errorCode);
            run.act();
            faults::reset();
            ++g_faultPoints;

            const int boxes = run.errorBoxes();
            // A failure the platform lets pass (closing a file after reading it) loses
            // nothing: the operation must then be complete.
            if (boxes == 0) {
                ++silent;
                QVERIFY2(run.completed(), where.constData());
            }
            QVERIFY2(boxes <= 1, where.constData());
            const QString problem = run.windowProblem();
            QVERIFY2(problem.isEmpty(), qPrintable(QString::fromLatin1(where) + u": " + problem));

            bool repaired = false;
            const QString fresh = run.checkFreshStart(&repaired);
            QVERIFY2(fresh.isEmpty(), qPrintable(QString::fromLatin1(where) + u": " + fresh));
            // Failures end with the files sealed again: only an unfinished first run
            // leaves something for the repair.
            QVERIFY2(!repaired || op == UserOperation::FirstRun, where.constData());
        }
    }
    qInfo("%s: %lld file operations, %lld fault points, %d failures passed without a box",
          operationName(op), count, 3 * count, silent);
}

QTEST_MAIN(TestFaultSweep)
#include "tst_faultsweep.moc"
