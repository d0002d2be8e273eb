// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/splashsequence.h"

#include <QList>
#include <QTest>

#include <cstdint>
#include <span>

using namespace cardomine;

Q_DECLARE_METATYPE(cardomine::SplashJump)

namespace {

// One run of the count: every value set, and after how many sets each repaint came.
struct Run
{
    QList<std::int32_t> values;
    QList<qsizetype> repaintsAfter;
};

// The count as the table is read, row by row at every pass, with nothing skipped.
Run plainRun(const QList<SplashJump> &jumps)
{
    Run run;
    std::int32_t counter = 0;
    while (counter != SplashProgressMaximum) {
        for (const SplashJump &jump : jumps) {
            if (counter == jump.from) {
                counter = jump.to;
                run.repaintsAfter.append(run.values.size());
            }
        }
        ++counter;
        run.values.append(counter);
    }
    return run;
}

Run runOnce()
{
    Run run;
    runSplashSequence([&run](std::int32_t value) { run.values.append(value); },
                      [&run] { run.repaintsAfter.append(run.values.size()); });
    return run;
}

} // namespace

class TestSplashSequence : public QObject
{
    Q_OBJECT

private:
    Run m_run;

private Q_SLOTS:
    void initTestCase() { m_run = runOnce(); }

    void countsAndEnd()
    {
        QCOMPARE(m_run.values.size(), 35013);
        QCOMPARE(m_run.repaintsAfter.size(), 8);
        QCOMPARE(m_run.values.last(), 90000);
        QCOMPARE(m_run.values.count(90000), 1);
    }

    void startsAtOneThenJumps()
    {
        QCOMPARE(m_run.values.mid(0, 3), (QList<std::int32_t>{1, 24, 25}));
    }

    void onlyGrows()
    {
        for (qsizetype i = 1; i < m_run.values.size(); ++i)
            QVERIFY2(m_run.values[i] > m_run.values[i - 1], qPrintable(QString::number(i)));
    }

    // The bar never shows a value inside a stretch the count leaps over.
    void skippedStretches_data()
    {
        QTest::addColumn<int>("after");   // last value shown before the leap
        QTest::addColumn<int>("landing"); // first value shown after it
        QTest::newRow("row 1") << 1 << 24;
        QTest::newRow("row 2") << 11468 << 25330;
        QTest::newRow("row 3") << 32732 << 43299;
        QTest::newRow("row 4") << 46565 << 51988;
        QTest::newRow("row 5") << 64212 << 73769;
        QTest::newRow("row 6") << 74145 << 87646;
        QTest::newRow("row 7") << 87898 << 88878;
        QTest::newRow("row 8") << 88888 << 89970;
    }
    void skippedStretches()
    {
        QFETCH(int, after);
        QFETCH(int, landing);
        const qsizetype at = m_run.values.indexOf(after);
        QVERIFY2(at >= 0, "the value before the leap is shown");
        QCOMPARE(m_run.values.value(at + 1), landing);
        for (std::int32_t value : std::as_const(m_run.values))
            QVERIFY2(value <= after || value >= landing, qPrintable(QString::number(value)));
    }

    // Each jump repaints at once, before the landing value is set.
    void repaintsComeWithTheJumps()
    {
        const QList<std::int32_t> landings{24, 25330, 43299, 51988, 73769, 87646, 88878, 89970};
        QCOMPARE(m_run.repaintsAfter.size(), landings.size());
        for (qsizetype row = 0; row < landings.size(); ++row)
            QCOMPARE(m_run.values[m_run.repaintsAfter[row]], landings[row]);
    }

    // The count skips the table's tests below the next From; it sets and repaints as
    // the plain reading does, also for tables whose rows chain, go back or repeat.
    void sameAsThePlainReading_data()
    {
        QTest::addColumn<QList<SplashJump>>("jumps");
        QTest::newRow("the splash's table")
            << QList<SplashJump>(SplashJumps.cbegin(), SplashJumps.cend());
        QTest::newRow("a row lands on the next row's From")
            << QList<SplashJump>{{5, 100}, {100, 200}, {300, 89990}};
        QTest::newRow("a row lands on an earlier row's From")
            << QList<SplashJump>{{700, 800}, {10, 699}, {801, 900}};
        QTest::newRow("a row lands on an earlier row's From, in the same pass")
            << QList<SplashJump>{{700, 800}, {10, 700}};
        QTest::newRow("two rows from one value") << QList<SplashJump>{{0, 50}, {50, 60}, {50, 70}};
        QTest::newRow("a row lands on the last value") << QList<SplashJump>{{3, 89999}};
        QTest::newRow("no rows") << QList<SplashJump>{};
    }
    void sameAsThePlainReading()
    {
        QFETCH(QList<SplashJump>, jumps);
        Run run;
        runSplashSequence(
            std::span<const SplashJump>(jumps.cbegin(), jumps.cend()),
            [&run](std::int32_t value) { run.values.append(value); },
            [&run] { run.repaintsAfter.append(run.values.size()); });
        const Run plain = plainRun(jumps);
        QCOMPARE(run.values, plain.values);
        QCOMPARE(run.repaintsAfter, plain.repaintsAfter);
    }

    void everyRunIsTheSame()
    {
        const Run again = runOnce();
        QCOMPARE(again.values, m_run.values);
        QCOMPARE(again.repaintsAfter, m_run.repaintsAfter);
    }
};

QTEST_APPLESS_MAIN(TestSplashSequence)
#include "tst_splashsequence.moc"
