// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/toolbench.h"

#include "bench/datafolder.h"
#include "bench/stats.h"
#include "datastore/paths.h"
#include "platform/drive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace cardomine::bench {
namespace {

// How many times the other commands' rounds check gets.
constexpr int CheckRoundsFactor = 3;

int recordCountOf(const QString &root)
{
    const DriveRoot drive(root);
    QFile index(platform::nativePath(paths::IndexFile));
    if (!index.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : index.readAll().split('\n')) {
        if (line.startsWith("Num_Of_Records="))
            return line.mid(15).trimmed().toInt();
    }
    return -1;
}

bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(path, target))
            return false;
    }
    return true;
}

} // namespace

bool runToolBench(const Context &c)
{
    const auto native = [&](const QString &programPath) {
        const DriveRoot drive(c.source);
        return platform::nativePath(programPath);
    };
    const QStringList cardFiles{native(paths::IndexFile), native(paths::DataFile)};
    const QString notesFolder = native(paths::NotesFolder);
    const auto reader = [&](const QStringList &arguments) {
        return Trial{[=, &c] { return Command{c.programs.reader, arguments, {}}; }};
    };
    const auto tool = [&](const QStringList &arguments) {
        return Trial{[=, &c] { return toolCommand(c, c.source, arguments); }};
    };
    const QString readName = QStringLiteral("read card file and notes");
    std::vector<QStringList> rows;
    c.report.progress(QStringLiteral("cardomine-tool"));
    const double loadBefore = loadAverage();
    const auto failed = [&](const Rounds &rounds) {
        if (rounds.problem.isEmpty())
            return false;
        std::fprintf(stderr, "tool: %s\n", qPrintable(rounds.problem));
        return true;
    };
    const auto judged = [&](const QString &what, const QString &floor, const Rounds &r,
                            int floorIndex, int oursIndex, double times) {
        const Ratio ratio =
            pairRatio(r.series[std::size_t(oursIndex)], r.series[std::size_t(floorIndex)]);
        const QString target = QStringLiteral("<= %1 x floor").arg(times);
        return pairRow(what, floor, r, floorIndex, oursIndex, target,
                       c.report.verdict({QStringLiteral("tool ") + what, number(ratio.median),
                                         target, ratio.median <= times, false}));
    };

    // The commands that only read: one round runs the floor, then each of them.
    const QString oneContact = QStringLiteral("benchley%1").arg(c.count / 2);
    const Rounds reading = runRounds(
        {reader(cardFiles + QStringList{QStringLiteral("--folder"), notesFolder}),
         tool({QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("vcard")}),
         tool({QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("csv")}),
         // Two words, one of them found in a single contact's boxes.
         Trial{[=, &c] {
                   return toolCommand(
                       c, c.source,
                       {QStringLiteral("find"), QStringLiteral("springfield"), oneContact});
               },
               [](const ProcessRun &run) { return run.exitCode == 0; }}},
        c.pairs);
    if (failed(reading))
        return false;
    rows.push_back(judged(QStringLiteral("export --format vcard"), readName, reading, 0, 1, 3));
    rows.push_back(judged(QStringLiteral("export --format csv"), readName, reading, 0, 2, 3));
    rows.push_back(judged(QStringLiteral("find WORD WORD"), readName, reading, 0, 3, 2));

    // check reads the card file and only lists the notes folder. A round takes about a
    // tenth of a second, and its ratio sits near its target, so it gets more rounds.
    const int checkPairs = c.pairs * CheckRoundsFactor;
    const Rounds checking =
        runRounds({reader(cardFiles + QStringList{QStringLiteral("--list"), notesFolder}),
                   tool({QStringLiteral("check")})},
                  checkPairs);
    if (failed(checking))
        return false;
    rows.push_back(judged(QStringLiteral("check"), QStringLiteral("read card file, list notes"),
                          checking, 0, 1, 3));

    // adopt and import write into a fresh data folder each run. The folders are removed
    // only with the scratch folder, when everything is measured: a file system without a
    // journal passes over the inodes of files deleted in the last minutes when it makes
    // new ones, so deleting 32,767 notes files before a run would time that, not the
    // command.
    const QString target = c.scratch + QStringLiteral("/tool-target");
    int targetRun = 0;
    const auto freshTarget = [&]() -> QString {
        return target + u'-' + QString::number(++targetRun);
    };
    const auto currentTarget = [&]() -> QString {
        return target + u'-' + QString::number(targetRun);
    };
    const auto wroteAll = [&](const ProcessRun &run) {
        return run.exitCode == 0 && recordCountOf(currentTarget()) == c.count;
    };

    // adopt: a plain copy of the card file (no seal survives it) brought into a fresh
    // data folder holding one contact of its own.
    const QString copy = c.scratch + QStringLiteral("/tool-adopt/Pelvarin");
    if (!copyFolder(native(paths::DataFolder), copy)) {
        std::fprintf(stderr, "could not copy the card file to %s\n", qPrintable(copy));
        return false;
    }
    const Rounds adopting = runRounds(
        {reader({copy + QStringLiteral("/Index.tbl"), copy + QStringLiteral("/Cardomine.Dat"),
                 QStringLiteral("--folder"), copy + QStringLiteral("/Contact Notes")}),
         Trial{[&] {
                   const QString root = freshTarget();
                   makeDataFolder(root, 1);
                   return toolCommand(c, root, {QStringLiteral("adopt"), copy});
               },
               wroteAll}},
        c.pairs);
    if (failed(adopting))
        return false;
    rows.push_back(pairRow(QStringLiteral("adopt FOLDER"), readName, adopting, 0, 1, {}, {}));

    // import: the card file's vCard export into a fresh, empty card file, against
    // writing as many files into a fresh folder and one syncfs. The verdict is on that
    // ratio (about 1 s for the files on a quiet disk, so 3 x is the 3 s the import is
    // allowed); the time itself is shown beside it.
    const QString vcard = c.scratch + QStringLiteral("/tool-contacts.vcf");
    if (!exportOnce(c, vcard))
        return false;
    const Rounds importing = runRounds(
        {Trial{[&] {
             return Command{c.programs.reader,
                            {QStringLiteral("--write"), freshTarget(), QString::number(c.count)},
                            {}};
         }},
         Trial{[&] {
                   const QString root = freshTarget();
                   makeEmptyCardFile(root);
                   return toolCommand(c, root, {QStringLiteral("import"), vcard});
               },
               wroteAll}},
        c.pairs);
    if (failed(importing))
        return false;
    {
        const Ratio ratio = pairRatio(importing.series[1], importing.series[0]);
        const double millis = median(importing.series[1].millis);
        const QString targetText = QStringLiteral("<= 3 x floor (< 3 s)");
        rows.push_back(pairRow(QStringLiteral("import FILE (vCard)"),
                               QStringLiteral("write as many files, syncfs"), importing, 0, 1,
                               targetText,
                               c.report.verdict({QStringLiteral("tool import FILE"),
                                                 number(ratio.median) + QStringLiteral(" (") +
                                                     number(millis) + QStringLiteral(" ms)"),
                                                 targetText, ratio.median <= 3, false})));
    }

    c.report.table(
        QStringLiteral("cardomine-tool over %1 contacts").arg(c.count),
        QStringLiteral(
            "Each command a whole process (start to exit, output to /dev/null), paired with a "
            "Qt Core program that starts alike and only reads the same files, each whole (for "
            "import: writes as many files); %1 rounds (check: %2) after one that warms the "
            "caches; each ratio is taken within a round, its median (min–max) judged. Peak "
            "memory is each process's own, read after exec. adopt and import start from a fresh "
            "data folder each run.")
            .arg(c.pairs)
            .arg(checkPairs),
        pairHeaders(), rows);
    c.report.load(loadBefore, loadAverage());
    return true;
}

} // namespace cardomine::bench
