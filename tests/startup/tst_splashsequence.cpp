// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/splashsequence.h"

#include <QList>
#include <QTest>

#include <cstdint>

using namespace cardomine;

namespace {

// One run of the count: every value set, and after how many sets each repaint came.
struct Run
{
    QList<std::int32_t> values;
    QList<qsizetype> repaintsAfter;
};

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

    void everyRunIsTheSame()
    {
        const Run again = runOnce();
        QCOMPARE(again.values, m_run.values);
        QCOMPARE(again.repaintsAfter, m_run.repaintsAfter);
    }
};

QTEST_APPLESS_MAIN(TestSplashSequence)
#include "tst_splashsequence.moc"
