// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/peerbench.h"

#include "bench/datafolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>

namespace cardomine::bench {
namespace {

const char vobjectCount[] = "import sys, vobject\n"
                            "with open(sys.argv[1], encoding='utf-8') as f:\n"
                            "    n = sum(1 for _ in vobject.readComponents(f))\n"
                            "sys.exit(0 if n == int(sys.argv[2]) else 1)\n";

bool hasVobject()
{
    const ProcessRun run = runMeasured({QStringLiteral("/usr/bin/python3"),
                                        {QStringLiteral("-c"), QStringLiteral("import vobject")}});
    return run.started && run.exitCode == 0;
}

} // namespace

bool runPeerBench(const Context &c, const QString &startRoot, int pairs)
{
    c.report.progress(QStringLiteral("Peers"));
    const double loadBefore = loadAverage();
    const QString abook = QStandardPaths::findExecutable(QStringLiteral("abook"));
    const QString khard = QStandardPaths::findExecutable(QStringLiteral("khard"));
    std::vector<QStringList> rows;
    const auto skipped = [&](const QString &what, const QString &package) {
        rows.push_back(
            {what,
             QStringLiteral("skipped: %1 is not installed (Debian package %1)").arg(package),
             {},
             {},
             {},
             {},
             {},
             {}});
    };
    const auto failed = [&](const Rounds &r) {
        if (r.problem.isEmpty())
            return false;
        std::fprintf(stderr, "peers: %s\n", qPrintable(r.problem));
        return true;
    };

    // The contacts as one vCard file, as every peer reads them.
    const QString vcard = c.scratch + QStringLiteral("/peer-contacts.vcf");
    if (!exportOnce(c, vcard))
        return false;

    if (abook.isEmpty()) {
        skipped(QStringLiteral("start-up to the first screen"), QStringLiteral("abook"));
        skipped(QStringLiteral("card file to a vCard file"), QStringLiteral("abook"));
    } else {
        const QString book = c.scratch + QStringLiteral("/peer-addressbook");
        const ProcessRun converted = runMeasured(
            {abook,
             {QStringLiteral("--convert"), QStringLiteral("--informat"), QStringLiteral("vcard"),
              QStringLiteral("--infile"), vcard, QStringLiteral("--outformat"),
              QStringLiteral("abook"), QStringLiteral("--outfile"), book}});
        if (!converted.started || converted.exitCode != 0) {
            std::fprintf(stderr, "peers: abook could not read the contacts: %s\n",
                         converted.err.constData());
            return false;
        }
        // abook on a pseudo-terminal until its list shows a name; ours until record 1
        // is on screen (offscreen).
        const Rounds start = runRounds(
            {Trial{[&] {
                 return Command{c.programs.firstScreen,
                                {QStringLiteral("Benchley"), abook, QStringLiteral("--datafile"),
                                 book, QStringLiteral("--config"), QStringLiteral("/dev/null")},
                                {}};
             }},
             Trial{[&] {
                 return Command{
                     c.programs.start, {}, {QStringLiteral("CARDOMINE_DRIVE_C=") + startRoot}};
             }}},
            pairs);
        if (failed(start))
            return false;
        rows.push_back(pairRow(QStringLiteral("start-up to the first screen"),
                               QStringLiteral("abook (terminal)"), start, 0, 1, {}, {}));

        const QString out = c.scratch + QStringLiteral("/peer-out.vcf");
        const Rounds convert = runRounds(
            {Trial{[&] {
                 // abook does not write over a file.
                 QFile::remove(out);
                 return Command{abook,
                                {QStringLiteral("--convert"), QStringLiteral("--informat"),
                                 QStringLiteral("abook"), QStringLiteral("--infile"), book,
                                 QStringLiteral("--outformat"), QStringLiteral("vcard"),
                                 QStringLiteral("--outfile"), out},
                                {}};
             }},
             Trial{[&] { return exportCommand(c, out); }}},
            pairs);
        if (failed(convert))
            return false;
        rows.push_back(pairRow(QStringLiteral("card file to a vCard file"),
                               QStringLiteral("abook --convert"), convert, 0, 1, {}, {}));
    }

    if (khard.isEmpty()) {
        skipped(QStringLiteral("list every contact"), QStringLiteral("khard"));
    } else {
        QString problem;
        const QString vdir = syncedVdir(c, problem);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "peers: %s\n", qPrintable(problem));
            return false;
        }
        const QString config = c.scratch + QStringLiteral("/khard.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("[addressbooks]\n[[bench]]\npath = " + QFile::encodeName(vdir) + "\n") < 0)
            return false;
        file.close();
        const Rounds list = runRounds(
            {Trial{[&] {
                 return Command{
                     khard, {QStringLiteral("--config"), config, QStringLiteral("list")}, {}};
             }},
             Trial{[&] {
                 return toolCommand(c, c.source,
                                    {QStringLiteral("find"), QStringLiteral("springfield")});
             }}},
            pairs);
        if (failed(list))
            return false;
        rows.push_back(pairRow(QStringLiteral("list every contact"),
                               QStringLiteral("khard list (the synced vCard folder)"), list, 0, 1,
                               {}, {}));
    }

    if (!hasVobject()) {
        skipped(QStringLiteral("read the vCard file"), QStringLiteral("python3-vobject"));
    } else {
        const QString empty = c.scratch + QStringLiteral("/peer-empty");
        if (!makeEmptyCardFile(empty))
            return false;
        const Rounds parse = runRounds(
            {Trial{[&] {
                 return Command{QStringLiteral("/usr/bin/python3"),
                                {QStringLiteral("-c"), QLatin1String(vobjectCount), vcard,
                                 QString::number(c.count)},
                                {}};
             }},
             Trial{[&] {
                 return toolCommand(c, empty,
                                    {QStringLiteral("import"), QStringLiteral("--dry-run"), vcard});
             }}},
            pairs);
        if (failed(parse))
            return false;
        rows.push_back(pairRow(QStringLiteral("read the vCard file"),
                               QStringLiteral("python3-vobject"), parse, 0, 1, {}, {}));
    }

    c.report.table(
        QStringLiteral("Beside other programs, over %1 contacts").arg(c.count),
        QStringLiteral(
            "Theirs and ours as whole processes, in pairs; %1 rounds after one that "
            "warms the caches. Ours: start-up to record 1 shown (offscreen); export "
            "--format vcard; find springfield (every contact); import --dry-run into "
            "an empty card file (reads and checks every vCard, writes nothing). Each ratio is "
            "taken within a round, its median (min–max) shown.")
            .arg(pairs),
        pairHeaders(QStringLiteral("theirs")), rows);
    c.report.load(loadBefore, loadAverage());
    return true;
}

} // namespace cardomine::bench
