// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

// The launcher that the benchmark starts every program through reports the peak
// memory of that program alone, though it is started from a large process.
class TestLaunchPeak : public QObject
{
    Q_OBJECT

    static constexpr int ParentMiB = 256;
    std::vector<char> m_ballast;

private Q_SLOTS:
    void initTestCase()
    {
        // This process grows large, as the benchmark's harness is.
        m_ballast.resize(std::size_t(ParentMiB) << 20);
        std::memset(m_ballast.data(), 1, m_ballast.size());
        // Started straight from here, a small program's reported peak includes this
        // process's pages: the figure the launcher exists to avoid.
        char program[] = "/bin/true";
        char *argv[] = {program, nullptr};
        pid_t pid = 0;
        QCOMPARE(posix_spawn(&pid, program, nullptr, nullptr, argv, environ), 0);
        int status = 0;
        rusage usage{};
        QCOMPARE(wait4(pid, &status, 0, &usage), pid);
        QVERIFY2(usage.ru_maxrss / 1024 >= ParentMiB,
                 qPrintable(QString::number(usage.ru_maxrss / 1024)));
    }

    void reportsTheProgramsOwnPeak_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("atLeastMiB");
        QTest::addColumn<int>("belowMiB");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("tiny program") << QStringList{QStringLiteral("/bin/true")} << 0 << 16 << 0;
        QTest::newRow("program of 64 MiB")
            << QStringList{QStringLiteral(CARDOMINE_TOUCH_MEMORY), QStringLiteral("64")} << 64
            << 64 + 16 << 0;
        QTest::newRow("exit status passed on")
            << QStringList{QStringLiteral("/bin/false")} << 0 << 16 << 1;
    }

    void reportsTheProgramsOwnPeak()
    {
        QFETCH(QStringList, command);
        QFETCH(int, atLeastMiB);
        QFETCH(int, belowMiB);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString report = dir.filePath(QStringLiteral("report"));
        QProcess launcher;
        launcher.start(QStringLiteral(CARDOMINE_BENCH_LAUNCH), QStringList{report} + command);
        QVERIFY(launcher.waitForFinished(30000));
        QCOMPARE(launcher.exitCode(), exitCode);
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> fields = file.readAll().simplified().split(' ');
        QCOMPARE(fields.size(), 3);
        const double peakMiB = fields[0].toDouble() / 1024.0;
        QVERIFY2(peakMiB > 0 && peakMiB >= atLeastMiB && peakMiB < belowMiB,
                 qPrintable(QString::number(peakMiB)));
        QVERIFY(fields[1].toLongLong() > 0);
        QCOMPARE(fields[2].toInt(), exitCode);
    }
};

QTEST_GUILESS_MAIN(TestLaunchPeak)
#include "tst_launchpeak.moc"
