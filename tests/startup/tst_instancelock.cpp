// SPDX-License-Identifier: GPL-3.0-or-later
// One running copy per data folder.

#include "platform/faults.h"
#include "platform/instancelock.h"
#include "tests/support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using cardomine::platform::InstanceLock;

namespace {
const QString DataFolder = QStringLiteral("c:\\Program Files\\Pelvarin");
}

class TestInstanceLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { cardomine::platform::faults::reset(); }
    void secondCopyIsRefused();
    void worksBeforeTheDataFolderExists();
    void lockOfADeadCopyIsTakenOver();
    void unusableFolderNamesTheCause_data();
    void unusableFolderNamesTheCause();
    void fullDiskIsRefused();
};

void TestInstanceLock::secondCopyIsRefused()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    {
        InstanceLock first(DataFolder);
        QVERIFY(first.tryLock());
        InstanceLock second(DataFolder);
        QVERIFY(!second.tryLock());
        QCOMPARE(second.status(), InstanceLock::Status::HeldElsewhere);
        QVERIFY(second.errorString().contains(QStringLiteral("already running")));
        // The same folder spelt in another letter case is the same folder.
        InstanceLock third(QStringLiteral("C:\\PROGRAM FILES\\pelvarin"));
        QVERIFY(!third.tryLock());
    }
    // Once the first copy has ended, a new one may start.
    InstanceLock fourth(DataFolder);
    QVERIFY(fourth.tryLock());
}

void TestInstanceLock::worksBeforeTheDataFolderExists()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    QVERIFY(!QFile::exists(drive.native(QStringLiteral("c:\\Program Files"))));
    InstanceLock lock(DataFolder);
    QVERIFY(lock.tryLock());
    QVERIFY(QFileInfo(drive.native(DataFolder)).isDir());
    QCOMPARE(QFileInfo(drive.native(DataFolder)).permissions() & 0x0077, 0);
    // The lock leaves nothing on disk that could outlive it.
    QVERIFY(QDir(drive.native(DataFolder))
                .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

void TestInstanceLock::lockOfADeadCopyIsTakenOver()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    // The lock file an older version left beside the folder, naming a process that
    // has ended, as a crashed copy leaves it.
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForFinished());
    const qint64 deadPid = gone.processId() > 0 ? gone.processId() : 999999;
    drive.writeFile(QStringLiteral("c:\\Program Files\\Pelvarin.lock"),
                    QByteArray::number(deadPid) + "\nCardomine\n" +
                        QSysInfo::machineHostName().toUtf8() + "\n");
    InstanceLock lock(DataFolder);
    QVERIFY(lock.tryLock());
}

void TestInstanceLock::unusableFolderNamesTheCause_data()
{
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only") << EROFS << QStringLiteral("Read-only file system");
    QTest::newRow("full") << ENOSPC << QStringLiteral("No space left on device");
}

void TestInstanceLock::unusableFolderNamesTheCause()
{
    QFETCH(int, errorCode);
    QFETCH(QString, reason);
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    // The first folder made on a first run fails.
    cardomine::platform::faults::reset();
    cardomine::platform::faults::arm(1, errorCode);
    InstanceLock lock(DataFolder);
    QVERIFY(!lock.tryLock());
    QCOMPARE(lock.status(), InstanceLock::Status::Failed);
    QCOMPARE(lock.errorCode(), errorCode);
    QVERIFY2(lock.errorString().contains(reason), qPrintable(lock.errorString()));
    QVERIFY(lock.errorString().contains(drive.native(DataFolder)));
}

void TestInstanceLock::fullDiskIsRefused()
{
    cardomine::testing::TempDrive drive;
    QVERIFY(drive.isValid());
    // A small file system of its own, filled up.
    const QString programFiles = drive.native(QStringLiteral("c:\\Program Files"));
    QVERIFY(QDir().mkpath(programFiles));
    const QByteArray mountPoint = QFile::encodeName(programFiles);
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: %1")
                             .arg(QString::fromLocal8Bit(std::strerror(errno)))));
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    QVERIFY(QDir().mkpath(drive.native(DataFolder)));
    QFile filler(drive.native(DataFolder) + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
    }
    filler.close();

    InstanceLock lock(DataFolder);
    QVERIFY(!lock.tryLock());
    QCOMPARE(lock.errorCode(), ENOSPC);
    QVERIFY2(lock.errorString().contains(QStringLiteral("No space left on device")),
             qPrintable(lock.errorString()));
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
