// One running copy per data folder.

#include "platform/instancelock.h"
#include "tests/support/tempdrive.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using cardomine::platform::InstanceLock;

class TestInstanceLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondCopyIsRefused();
    void worksBeforeTheDataFolderExists();
    void lockOfADeadCopyIsTakenOver();
};

void TestInstanceLock::secondCopyIsRefused()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    const QString path = QStringLiteral("c:\\Program Files\\Pelvarin.lock");
    {
        InstanceLock first(path);
        QVERIFY(first.tryLock());
        InstanceLock second(path);
        QVERIFY(!second.tryLock());
        QVERIFY(second.errorString().contains(QStringLiteral("already running")));
    }
    // Once the first copy has ended, a new one may start.
    InstanceLock third(path);
    QVERIFY(third.tryLock());
}

void TestInstanceLock::worksBeforeTheDataFolderExists()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    const QString path = QStringLiteral("c:\\Program Files\\Pelvarin.lock");
    QVERIFY(!QFile::exists(drive.native(QStringLiteral("c:\\Program Files"))));
    InstanceLock lock(path);
    QVERIFY(lock.tryLock());
    QVERIFY(QFile::exists(drive.native(path)));
}

void TestInstanceLock::lockOfADeadCopyIsTakenOver()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    const QString path = QStringLiteral("c:\\Program Files\\Pelvarin.lock");
    // A lock file naming a process that has ended, as a crashed copy leaves it.
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForFinished());
    const qint64 deadPid = gone.processId() > 0 ? gone.processId() : 999999;
    drive.writeFile(path, QByteArray::number(deadPid) + "\nCardomine\n" +
                              QSysInfo::machineHostName().toUtf8() + "\n");
    InstanceLock lock(path);
    QVERIFY(lock.tryLock());
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
