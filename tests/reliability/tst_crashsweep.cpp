// SPDX-License-Identifier: GPL-3.0-or-later
// The process ends at once at every file operation of every user operation, as a
// power cut or a kill would end it; and, as a power cut may also tear the write in
// progress, at every write with only its first sixteenth written. (A write lost whole
// after the last flush is the state of a crash just before it: every write of the
// program is flushed before its next step.) The next start must find the index in
// its old or its new version, every earlier record intact, and whatever the repair
// set aside kept in Recovered/, a record saved with its notes or neither, and every
// temporary notes file kept. Every crash is played with the attributes in extended
// attributes and in the sidecar file.

#include "platform/attributestore.h"
#include "platform/faults.h"
#include "tests/reliability/useroperations.h"
#include "tests/support/crashat.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
namespace faults = cardomine::platform::faults;
namespace attributestore = cardomine::platform::attributestore;

Q_DECLARE_METATYPE(cardomine::testing::UserOperation)
Q_DECLARE_METATYPE(cardomine::platform::faults::Mode)

namespace {
qint64 g_crashPoints = 0;
qint64 g_repairs = 0;
} // namespace

class TestCrashSweep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        faults::reset();
        attributestore::forceSidecar(false);
    }
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
    QTest::addColumn<faults::Mode>("mode");
    QTest::addColumn<bool>("sidecar");
    for (const bool sidecar : {false, true}) {
        const char *store = sidecar ? ", sidecar" : "";
        for (UserOperation op : allUserOperations()) {
            QTest::addRow("%s%s", operationName(op), store) << op << faults::Mode::Crash << sidecar;
            // A start over sealed files writes nothing.
            if (op != UserOperation::NormalStart)
                QTest::addRow("%s, write cut short%s", operationName(op), store)
                    << op << faults::Mode::CutShort << sidecar;
        }
    }
    // Notes of nearly the notes limit: the long writes are where a kill is most likely.
    const UserOperation large = UserOperation::EditLargeNotesSave;
    QTest::addRow("%s", operationName(large)) << large << faults::Mode::Crash << false;
    QTest::addRow("%s, write cut short", operationName(large))
        << large << faults::Mode::CutShort << false;
}

void TestCrashSweep::crashAtEveryOperation()
{
    QFETCH(UserOperation, op);
    QFETCH(faults::Mode, mode);
    QFETCH(bool, sidecar);
    attributestore::forceSidecar(sidecar);

    const CleanRun clean = cleanRun(op);
    QVERIFY2(clean.prepared, operationName(op));
    QVERIFY(clean.completed);
    const qint64 count = clean.fileOperations;
    QVERIFY(count > 0);

    QList<qint64> points;
    for (qint64 k = 1; k <= count; ++k)
        points.append(k);
    if (mode == faults::Mode::CutShort) {
        points = clean.writeOperations;
        // Browsing a sealed card file writes nothing: there is no write to cut short.
        if (points.isEmpty() &&
            (op == UserOperation::Navigation || op == UserOperation::CreateDiscard))
            QSKIP("the operation writes nothing");
    }
    QVERIFY(!points.isEmpty());

    QStringList repairedAt;
    for (const qint64 k : points) {
        const QByteArray where = QByteArray(operationName(op)) +
                                 (mode == faults::Mode::CutShort ? ", write cut short at operation "
                                                                 : ", crash at operation ") +
                                 QByteArray::number(k) + " of " + QByteArray::number(count);
        OperationRun run(op);
        QVERIFY2(run.prepare(), where.constData());
        run.acceptOutcomeOf(clean);

        QVERIFY2(testing::crashesAt(k, mode, [&] { run.act(); }), where.constData());
        ++g_crashPoints;

        bool repaired = false;
        const QString fresh = run.checkFreshStart(&repaired);
        QVERIFY2(fresh.isEmpty(), qPrintable(QString::fromLatin1(where) + u": " + fresh));
        // A save whose write was torn is put back by the next start, not rebuilt.
        const bool save = workflowOf(op) == UserOperation::CreateSave ||
                          workflowOf(op) == UserOperation::EditSave;
        QVERIFY2(!(repaired && save && mode == faults::Mode::CutShort), where.constData());
        if (repaired) {
            ++g_repairs;
            repairedAt << QString::number(k);
        }
    }
    qInfo("%s%s: %lld crash points, the next start repaired after %lld (at %s)", operationName(op),
          mode == faults::Mode::CutShort ? ", writes cut short" : "", qint64(points.size()),
          qint64(repairedAt.size()), qPrintable(repairedAt.join(u' ')));
}

QTEST_MAIN(TestCrashSweep)
#include "tst_crashsweep.moc"
