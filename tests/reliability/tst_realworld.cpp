// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue of real-world situations: one row each, every saved contact checked
// afterwards.

#include "platform/faults.h"
#include "tests/reliability/realworld.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;

Q_DECLARE_METATYPE(std::function<void(cardomine::testing::Situation &)>)

class TestRealWorld : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { platform::faults::reset(); }
    void situation_data();
    void situation();
};

void TestRealWorld::situation_data()
{
    QTest::addColumn<std::function<void(Situation &)>>("play");
    for (const auto &group :
         {storeSituations(), platformSituations(), sealSituations(), windowSituations()}) {
        for (const RealWorldCase &c : group)
            QTest::newRow(c.name) << c.play;
    }
}

void TestRealWorld::situation()
{
    QFETCH(std::function<void(Situation &)>, play);
    Situation s;
    QVERIFY2(s.drive.isValid(), qPrintable(s.drive.errorString()));
    play(s);
    if (QTest::currentTestFailed())
        return;
    if (!s.skipReason.isEmpty())
        QSKIP(qPrintable(s.skipReason));
    const QStringList lost = s.lostContacts();
    QVERIFY2(lost.isEmpty(), qPrintable(QStringLiteral("lost: ") + lost.join(u", ")));
}

QTEST_MAIN(TestRealWorld)
#include "tst_realworld.moc"
