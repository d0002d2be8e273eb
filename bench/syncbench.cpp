// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/syncbench.h"

#include "bench/datafolder.h"
#include "bench/stats.h"
#include "datastore/paths.h"
#include "platform/drive.h"
#include "tool/sync.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace cardomine::bench {

bool runSyncBench(const Context &c)
{
    c.report.progress(QStringLiteral("sync"));
    const double loadBefore = loadAverage();
    std::vector<QStringList> rows;
    const auto failed = [&](const QString &problem) {
        if (problem.isEmpty())
            return false;
        std::fprintf(stderr, "sync: %s\n", qPrintable(problem));
        return true;
    };

    // The first pass writes every vCard into a fresh folder, kept until the end, for the
    // reason the tool's import gives (bench/toolbench.cpp).
    const QString vcard = c.scratch + QStringLiteral("/sync-export.vcf");
    const QString fresh = c.scratch + QStringLiteral("/sync-first-");
    int firstRun = 0;
    const Rounds first =
        runRounds({Trial{[&] { return exportCommand(c, vcard); }}, Trial{[&] {
                       const QString vdir = fresh + QString::number(++firstRun);
                       QDir().mkpath(vdir);
                       return toolCommand(c, c.source,
                                          {QStringLiteral("sync"), QStringLiteral("--vdir"), vdir});
                   }}},
                  c.firstSyncPairs);
    if (failed(first.problem))
        return false;
    {
        const Ratio ratio = pairRatio(first.series[1], first.series[0]);
        const QString target = QStringLiteral("<= 3 x floor");
        rows.push_back(
            pairRow(QStringLiteral("sync, first pass into an empty folder"),
                    QStringLiteral("export --format vcard --output FILE"), first, 0, 1, target,
                    c.report.verdict({QStringLiteral("sync first pass"), number(ratio.median),
                                      target, ratio.median <= 3, false})));
    }

    // The quiet pass, against listing the two folders it looks at and reading its state.
    QString problem;
    const QString vdir = syncedVdir(c, problem);
    if (failed(problem))
        return false;
    const QString state = vdir + u'/' + QLatin1String(tool::SyncStateFileName);
    const QDateTime stateWritten = QFileInfo(state).lastModified();
    QString notesFolder;
    {
        const DriveRoot drive(c.source);
        notesFolder = platform::nativePath(paths::NotesFolder);
    }
    const Rounds quiet =
        runRounds({Trial{[&] {
                       return Command{c.programs.reader,
                                      {QStringLiteral("--list"), notesFolder,
                                       QStringLiteral("--list"), vdir, state},
                                      {}};
                   }},
                   Trial{[&] {
                       return toolCommand(c, c.source,
                                          {QStringLiteral("sync"), QStringLiteral("--vdir"), vdir});
                   }}},
                  c.pairs);
    if (failed(quiet.problem))
        return false;
    if (QFileInfo(state).lastModified() != stateWritten) {
        std::fprintf(stderr, "sync: a pass with nothing changed wrote its state file\n");
        return false;
    }
    {
        const double millis = median(quiet.series[1].millis);
        const QString target = QStringLiteral("< 500 ms");
        rows.push_back(pairRow(QStringLiteral("sync, nothing changed"),
                               QStringLiteral("list both folders, read the state"), quiet, 0, 1,
                               target,
                               c.report.verdict({QStringLiteral("sync pass, nothing changed"),
                                                 number(millis) + QStringLiteral(" ms"), target,
                                                 millis < 500, false})));
    }
    c.report.table(
        QStringLiteral("cardomine-tool sync over %1 contacts, a process each pass").arg(c.count),
        QStringLiteral("As a timer runs it: each pass a whole process, paired with its floor; %1 "
                       "rounds (the first pass: %2) after one that warms the caches; each ratio is "
                       "taken within a round, its median (min–max) shown. The first pass is judged "
                       "on that ratio, the pass with nothing changed on its median time.")
            .arg(c.pairs)
            .arg(c.firstSyncPairs),
        pairHeaders(), rows);
    c.report.load(loadBefore, loadAverage());
    return true;
}

} // namespace cardomine::bench
