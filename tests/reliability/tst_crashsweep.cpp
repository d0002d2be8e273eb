// The process ends at once at every file operation of every user operation, as a
// power cut or a kill would end it. The next start must find the index in its old or
// its new version, every earlier record intact, and whatever the repair set aside
// kept in Recovered/.

#include "platform/faults.h"
#include "tests/reliability/useroperations.h"

#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace cardomine;
using namespace cardomine::testing;
namespace faults = cardomine::platform::faults;

Q_DECLARE_METATYPE(cardomine::testing::UserOperation)

namespace {
qint64 g_crashPoints = 0;
qint64 g_repairs = 0;
} // namespace

class TestCrashSweep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { faults::reset(); }
    void cleanupTestCase()
    {
        qInfo("crash sweep: %lld crash points, %lld of them left work for the start-up repair",
              g_crashPoints, g_repairs);
    }

    void crashAtEveryOperation_data();
    void crashAtEveryOperation();
};

void TestCrashSweep::crashAtEveryOperation_data()
{
    QTest::addColumn<UserOperation>("op");
    for (UserOperation op : allUserOperations())
        QTest::newRow(operationName(op)) << op;
}

void TestCrashSweep::crashAtEveryOperation()
{
    QFETCH(UserOperation, op);

    const CleanRun clean = cleanRun(op);
    QVERIFY2(clean.prepared, operationName(op));
    QVERIFY(clean.completed);
    const qint64 count = clean.fileOperations;
    QVERIFY(count > 0);

    QStringList repairedAt;
    for (qint64 k = 1; k <= count; ++k) {
        const QByteArray where = QByteArray(operationName(op)) + ", crash at operation " +
                                 QByteArray::number(k) + " of " + QByteArray::number(count);
        OperationRun run(op);
        QVERIFY2(run.prepare(), where.constData());
        run.acceptOutcomeOf(clean);

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            faults::reset();
            faults::arm(k, 0, faults::Mode::Crash);
            run.act();
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == faults::CrashExitCode,
                 where.constData());
        ++g_crashPoints;

        bool repaired = false;
        const QString fresh = run.checkFreshStart(&repaired);
        QVERIFY2(fresh.isEmpty(), qPrintable(QString::fromLatin1(where) + u": " + fresh));
        if (repaired) {
            ++g_repairs;
            repairedAt << QString::number(k);
        }
    }
    qInfo("%s: %lld crash points, the next start repaired after %lld (at %s)", operationName(op),
          count, qint64(repairedAt.size()), qPrintable(repairedAt.join(u' ')));
}

QTEST_MAIN(TestCrashSweep)
#include "tst_crashsweep.moc"
