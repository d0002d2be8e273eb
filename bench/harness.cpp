// SPDX-License-Identifier: GPL-3.0-or-later
// Cardomine's benchmark: start-up time and peak memory against a bare Qt Widgets
// program, and the per-record cost of browsing, creating and editing, over data
// folders of 1, 1,000 and 32,767 contacts. Prints one table with each target marked
// as met or not. Every save goes through the program's own file services, fsync
// included.

#include "bench/context.h"
#include "bench/datafolder.h"
#include "bench/peerbench.h"
#include "bench/stats.h"
#include "bench/syncbench.h"
#include "bench/toolbench.h"
#include "bench/windowbench.h"
#include "datastore/contactrecord.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace cardomine::bench {
namespace {

constexpr int Largest = cardomine::ContactRecord::MaxNumber;

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

QString envString(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// --- The tables -----------------------------------------------------------------

QString machineLine()
{
    QString model = QStringLiteral("unknown CPU");
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                model = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    return QStringLiteral("%1 x %2").arg(QThread::idealThreadCount()).arg(model);
}

QString contacts(int count)
{
    return sizeName(count) +
           (count == 1 ? QStringLiteral(" contact") : QStringLiteral(" contacts"));
}

// Start-up of each data folder against both floors, all in the same rounds.
bool startupBlock(const Context &c, const std::array<QString, 3> &roots,
                  const std::array<int, 3> &sizes, int rounds)
{
    std::vector<Trial> trials{
        Trial{[&] {
            return Command{c.programs.bareWindow, {}, {}};
        }},
        Trial{[&] {
            return Command{c.programs.formWindow, {}, {}};
        }},
    };
    for (const QString &root : roots) {
        trials.push_back(Trial{[&c, root] {
            return Command{c.programs.start, {}, {QStringLiteral("CARDOMINE_DRIVE_C=") + root}};
        }});
    }
    c.report.progress(QStringLiteral("Start-up: %1 rounds").arg(rounds));
    const Rounds r = runRounds(trials, rounds);
    if (!r.problem.isEmpty()) {
        std::fprintf(stderr, "start-up: %s\n", qPrintable(r.problem));
        return false;
    }
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int ours = int(i) + 2;
        const QString what = QStringLiteral("start-up, %1").arg(contacts(sizes[i]));
        const Ratio bare = pairRatio(r.series[std::size_t(ours)], r.series[0]);
        const Ratio form = pairRatio(r.series[std::size_t(ours)], r.series[1]);
        rows.push_back(
            pairRow(what, QStringLiteral("bare window"), r, 0, ours, QStringLiteral("<= 1.5 x"),
                    c.report.verdict({what + QStringLiteral(" / bare window"), number(bare.median),
                                      QStringLiteral("<= 1.5 x"), bare.median <= 1.5, true})));
        rows.push_back(pairRow(
            what, QStringLiteral("same window, no logic"), r, 1, ours, QStringLiteral("<= 1.15 x"),
            c.report.verdict({what + QStringLiteral(" / same window"), number(form.median),
                              QStringLiteral("<= 1.15 x"), form.median <= 1.15, false})));
    }
    // Memory against the bare window, and how start-up grows with the card file.
    const double barePeak = median(r.series[0].peakMiB);
    std::vector<QStringList> more;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double extra = median(r.series[i + 2].peakMiB) - barePeak;
        more.push_back(
            {QStringLiteral("peak memory - bare window (MiB), %1").arg(contacts(sizes[i])),
             number(extra), QStringLiteral("<= 12"),
             c.report.verdict(
                 {QStringLiteral("start-up peak memory - bare window, %1").arg(sizeName(sizes[i])),
                  number(extra) + QStringLiteral(" MiB"), QStringLiteral("<= 12 MiB"), extra <= 12,
                  false})});
    }
    const Ratio growth = pairRatio(r.series[4], r.series[2]);
    more.push_back(
        {QStringLiteral("start-up, %1 / 1 contact (x, per round; min–max)").arg(sizeName(sizes[2])),
         ratioCell(growth), QStringLiteral("<= 1.3"),
         c.report.verdict({QStringLiteral("start-up flat (%1 / 1)").arg(sizeName(sizes[2])),
                           number(growth.median), QStringLiteral("<= 1.3"), growth.median <= 1.3,
                           false})});
    const double peakGrowth = median(r.series[4].peakMiB) / median(r.series[2].peakMiB);
    more.push_back({QStringLiteral("peak memory, %1 / 1 contact (x)").arg(sizeName(sizes[2])),
                    number(peakGrowth), QStringLiteral("<= 1.3"),
                    c.report.verdict(
                        {QStringLiteral("peak memory flat (%1 / 1)").arg(sizeName(sizes[2])),
                         number(peakGrowth), QStringLiteral("<= 1.3"), peakGrowth <= 1.3, false})});
    c.report.table(
        QStringLiteral("Start-up"),
        QStringLiteral(
            "Process start to record 1 on screen (offscreen, splash included), each a whole "
            "process, in rounds with two floors: a bare Qt Widgets window of the same size, and "
            "the same window with its controls, captions, fonts and one contact's text but no "
            "logic (no files, no splash, no boxes); %1 rounds after one that warms the caches. "
            "Each ratio is taken within a round (every program runs once a round), its median "
            "(min–max) judged. Peak memory is each process's own, read after exec.")
            .arg(rounds),
        pairHeaders(), rows);
    c.report.table(QStringLiteral("Start-up memory and growth"), QString(),
                   {QStringLiteral("what"), QStringLiteral("value"), QStringLiteral("target"),
                    QStringLiteral("verdict")},
                   more);
    c.report.load(r.loadBefore, r.loadAfter);
    return true;
}

} // namespace
} // namespace cardomine::bench

int main(int argc, char *argv[])
{
    using namespace cardomine;
    using namespace cardomine::bench;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "no scratch folder: %s\n", qPrintable(scratch.errorString()));
        return 1;
    }
    // Nothing the programs do reaches the real home folder.
    const QByteArray home = QFile::encodeName(scratch.path() + QStringLiteral("/home"));
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", home + "/share");
    qputenv("XDG_CONFIG_HOME", home + "/config");
    qputenv("XDG_CACHE_HOME", home + "/cache");
    qputenv("XDG_RUNTIME_DIR", home);
    QDir().mkpath(QString::fromLocal8Bit(home));
    QFile::setPermissions(QString::fromLocal8Bit(home),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QApplication app(argc, argv);
    platform::fonts::loadBundledFonts();

    // CARDOMINE_BENCH_PAIRS sets every count of rounds at once (a quick run: 2).
    const int pairs = envInt("CARDOMINE_BENCH_PAIRS", 0);
    const int startRounds = pairs > 0 ? pairs : envInt("CARDOMINE_BENCH_START_ROUNDS", 21);
    const int toolPairs = pairs > 0 ? pairs : envInt("CARDOMINE_BENCH_TOOL_PAIRS", 9);
    const int firstSyncPairs = pairs > 0 ? pairs : envInt("CARDOMINE_BENCH_SYNC_PAIRS", 5);
    const int peerPairs = pairs > 0 ? pairs : envInt("CARDOMINE_BENCH_PEER_PAIRS", 3);
    const WindowSettings windowSettings{
        pairs > 0 ? pairs : envInt("CARDOMINE_BENCH_WINDOW_ROUNDS", 24),
        envInt("CARDOMINE_BENCH_NAVIGATIONS", 48000), envInt("CARDOMINE_BENCH_SAVES", 240)};
    const int largest = std::min(envInt("CARDOMINE_BENCH_CONTACTS", Largest), Largest);
    const std::array<int, 3> sizes{1, std::min(1000, largest), largest};
    const QStringList only =
        qEnvironmentVariable("CARDOMINE_BENCH_ONLY").split(u',', Qt::SkipEmptyParts);
    const auto wanted = [&](const char *part) {
        return only.isEmpty() || only.contains(QLatin1String(part));
    };
    const QString output =
        envString("CARDOMINE_BENCH_OUTPUT", QStringLiteral(CARDOMINE_BENCH_OUTPUT));

    Report report;
    const Programs programs;
    setLauncher(programs.launcher, scratch.path());
    report.note(QStringLiteral("## Cardomine benchmark\n\n%1; load average %2 at the start. "
                               "Largest size %3 contacts.")
                    .arg(machineLine(), QString::number(loadAverage(), 'f', 2), sizeName(largest)));

    const QString sizeList = sizeName(sizes[0]) + QStringLiteral(", ") + sizeName(sizes[1]) +
                             QStringLiteral(", ") + sizeName(sizes[2]);
    std::printf("\nMaking data folders of %s contacts in %s ...\n", qPrintable(sizeList),
                qPrintable(scratch.path()));
    std::fflush(stdout);
    std::array<QString, 3> roots;
    const bool programRuns = wanted("start") || wanted("peers") || wanted("window");
    for (std::size_t i = 0; i < sizes.size() && programRuns; ++i) {
        roots[i] = scratch.path() + QStringLiteral("/drive%1").arg(i);
        if (!makeDataFolder(roots[i], sizes[i])) {
            std::fprintf(stderr, "could not make the data folder %s\n", qPrintable(roots[i]));
            return 1;
        }
    }
    // The tool, the sync and the peers work over a data folder of their own, which
    // nothing they run changes.
    const QString source = scratch.path() + QStringLiteral("/tool-source");
    const bool toolRuns = wanted("sync") || wanted("tool") || wanted("peers");
    if (toolRuns && !makeDataFolder(source, largest)) {
        std::fprintf(stderr, "could not make the data folder %s\n", qPrintable(source));
        return 1;
    }
    const Context context{report,  programs,  scratch.path(), source,
                          largest, toolPairs, firstSyncPairs};

    bool ok = true;
    if (ok && wanted("start"))
        ok = startupBlock(context, roots, sizes, startRounds);
    if (ok && wanted("sync"))
        ok = runSyncBench(context);
    if (ok && wanted("tool"))
        ok = runToolBench(context);
    if (ok && wanted("peers"))
        ok = runPeerBench(context, roots[2], peerPairs);
    // Last: it edits and cuts back the start-up's data folders.
    if (ok && wanted("window"))
        ok = runWindowBench(context, roots, sizes, windowSettings);
    if (!ok)
        return 1;
    report.summary();
    if (!report.write(output)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("\nThe tables are in %s.\n", qPrintable(output));
    return 0;
}
