// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/context.h"

#include "bench/stats.h"
#include "tool/sync.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace cardomine::bench {

Command toolCommand(const Context &c, const QString &root, const QStringList &arguments)
{
    return {c.programs.tool, arguments, {QStringLiteral("CARDOMINE_DRIVE_C=") + root}};
}

Command exportCommand(const Context &c, const QString &file)
{
    return toolCommand(c, c.source,
                       {QStringLiteral("export"), QStringLiteral("--format"),
                        QStringLiteral("vcard"), QStringLiteral("--output"), file});
}

bool exportOnce(const Context &c, const QString &file)
{
    const ProcessRun run = runMeasured(exportCommand(c, file));
    if (run.started && run.exitCode == 0)
        return true;
    std::fprintf(stderr, "export --output failed: %s\n", run.err.constData());
    return false;
}

QStringList pairHeaders(const QString &floor)
{
    return {QStringLiteral("what"),
            floor,
            floor + QStringLiteral(" (ms)"),
            QStringLiteral("ours (ms)"),
            QStringLiteral("ours / %1 (x, min–max)").arg(floor),
            QStringLiteral("peak MiB (ours / %1)").arg(floor),
            QStringLiteral("target"),
            QStringLiteral("verdict")};
}

QString syncedVdir(const Context &c, QString &problem)
{
    const QString vdir = c.scratch + QStringLiteral("/vdir");
    if (QFileInfo::exists(vdir + u'/' + QLatin1String(tool::SyncStateFileName)))
        return vdir;
    QDir().mkpath(vdir);
    const ProcessRun run = runMeasured(
        toolCommand(c, c.source, {QStringLiteral("sync"), QStringLiteral("--vdir"), vdir}));
    if (!run.started || run.exitCode != 0)
        problem = QStringLiteral("the first sync pass failed: ") + QString::fromLocal8Bit(run.err);
    return vdir;
}

QStringList pairRow(const QString &what, const QString &floor, const Rounds &rounds, int floorIndex,
                    int oursIndex, const QString &target, const QString &verdict)
{
    const Series &f = rounds.series[std::size_t(floorIndex)];
    const Series &o = rounds.series[std::size_t(oursIndex)];
    return {what,
            floor,
            number(median(f.millis)),
            number(median(o.millis)),
            ratioCell(pairRatio(o, f)),
            number(median(o.peakMiB)) + QStringLiteral(" / ") + number(median(f.peakMiB)),
            target.isEmpty() ? QStringLiteral("-") : target,
            verdict.isEmpty() ? QStringLiteral("-") : verdict};
}

} // namespace cardomine::bench
