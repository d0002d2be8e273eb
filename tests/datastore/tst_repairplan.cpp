// SPDX-License-Identifier: GPL-3.0-or-later
// The start's repair plan as a pure function: from every state it ends with both files
// sealed, a marker that names the files seals them instead of repairing, and files
// that never keep their seal stop it after five rounds.
#include "datastore/repairplan.h"
#include "datastore/seal.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::repairplan;
using pendingwork::Finding;

Q_DECLARE_METATYPE(cardomine::repairplan::FolderState)

class TestRepairPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyStateEndsSealed_data();
    void everyStateEndsSealed();
    void filesThatNeverKeepTheSealGiveUp();
};

void TestRepairPlan::everyStateEndsSealed_data()
{
    QTest::addColumn<FolderState>("state");
    QTest::addColumn<bool>("sealsOnly"); // a marker names the files: no box, nothing set aside

    struct Attr
    {
        const char *name;
        bool present;
        int value;
    };
    const Attr indexes[] = {{"index missing", false, 0},
                            {"index sealed", true, seal::IndexFile},
                            {"index writable", true, 4},
                            {"index archived", true, 37}};
    const Attr datas[] = {{"data missing", false, 0},
                          {"data sealed", true, seal::DataFile},
                          {"data normal", true, 0},
                          {"data archived", true, 39}};
    const std::pair<const char *, Finding> markers[] = {{"no marker", Finding::None},
                                                        {"foreign marker", Finding::Foreign},
                                                        {"named", Finding::Named},
                                                        {"torn write", Finding::TornWrite}};
    for (const bool folder : {false, true}) {
        for (const Attr &index : indexes) {
            for (const Attr &data : datas) {
                for (const auto &[markerName, finding] : markers) {
                    for (const bool namesIndex : {false, true}) {
                        const bool marker = finding != Finding::None;
                        // The marker lies in the data folder, beside both files.
                        if (marker && (!folder || !index.present || !data.present))
                            continue;
                        if (!folder && (index.present || data.present))
                            continue;
                        if (namesIndex &&
                            (finding != Finding::Named && finding != Finding::TornWrite))
                            continue;
                        FolderState s;
                        s.programFilesFolder = folder;
                        s.dataFolder = folder;
                        s.index = index.present;
                        s.indexAttributes = index.value;
                        s.data = data.present;
                        s.dataAttributes = data.value;
                        s.dataSize = data.present ? 3 * 249 : 0;
                        s.notesOfContact1 = data.present;
                        s.marker = marker;
                        s.markerFinding = finding;
                        s.markerNamesIndex = namesIndex;
                        s.dataSizeAfterUndo = 2 * 249;
                        const bool sealsOnly =
                            (finding == Finding::Named || finding == Finding::TornWrite) &&
                            (namesIndex || index.value == seal::IndexFile);
                        QTest::addRow("%s, %s, %s, %s%s", folder ? "folder" : "no folder",
                                      index.name, data.name, markerName,
                                      namesIndex ? " naming the index" : "")
                            << s << sealsOnly;
                    }
                }
            }
        }
    }
}

void TestRepairPlan::everyStateEndsSealed()
{
    QFETCH(FolderState, state);
    QFETCH(bool, sealsOnly);
    const RepairPlan p = plan(state);
    QCOMPARE(p.steps.constLast().kind, StepKind::Finished);

    FolderState end = state;
    int rounds = 1;
    for (const Step &step : p.steps) {
        end = after(end, step);
        if (step.kind == StepKind::ShowNotice &&
            (step.notice == doNotAlterIndexNotice() || step.notice == dataFileRebuildNotice()))
            ++rounds;
    }
    QVERIFY2(rounds <= 4, qPrintable(QString::number(rounds)));
    QVERIFY(end.index && end.data && !end.marker && end.markerLeftovers == 0);
    QCOMPARE(end.indexAttributes, seal::IndexFile);
    QCOMPARE(end.dataAttributes, seal::DataFile);

    const QList<Step> moves = [&] {
        QList<Step> out;
        for (const Step &step : p.steps) {
            if (step.kind == StepKind::MoveDataFileAside || step.kind == StepKind::MoveIndexAside)
                out.append(step);
        }
        return out;
    }();
    if (sealsOnly) {
        QCOMPARE(p.notices(), QList<Notice>());
        QCOMPARE(moves, QList<Step>());
    }
    // Replanning from any point of the way gives the rest of the same plan.
    Cursor cursor;
    FolderState now = state;
    for (const Step &step : p.steps) {
        QCOMPARE(nextStep(now, cursor), step);
        now = after(now, step);
    }
    QCOMPARE(nextStep(now, cursor).kind, StepKind::Finished);
}

// The start observes the files after every step; here they never keep the attributes
// they are given (something makes them writable again at once).
void TestRepairPlan::filesThatNeverKeepTheSealGiveUp()
{
    FolderState s;
    s.programFilesFolder = s.dataFolder = s.index = s.data = true;
    s.indexAttributes = 4;
    s.dataAttributes = 6;
    s.dataSize = 249;
    Cursor cursor;
    int notices = 0;
    Step step;
    for (int i = 0; i < 1000; ++i) {
        step = nextStep(s, cursor);
        if (step.kind == StepKind::Finished || step.kind == StepKind::GiveUp)
            break;
        notices += step.kind == StepKind::ShowNotice;
        s = after(s, step);
        if (s.index)
            s.indexAttributes &= ~1;
        if (s.data)
            s.dataAttributes &= ~1;
    }
    QCOMPARE(step.kind, StepKind::GiveUp);
    QCOMPARE(cursor.round, MaxRounds + 1);
    QVERIFY2(notices <= 3 * MaxRounds, qPrintable(QString::number(notices)));
    QCOMPARE(nextStep(s, cursor).kind, StepKind::GiveUp);
}

QTEST_GUILESS_MAIN(TestRepairPlan)
#include "tst_repairplan.moc"
