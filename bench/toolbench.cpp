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

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace cardomine::bench {
namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct ToolRun
{
    bool started = false;
    int exitCode = -1;
    double millis = 0;
    QByteArray err;
};

// Runs a program (the tool, or the reader that is its floor) over the drive root with
// stdin and stdout on /dev/null (an export's text costs what producing it costs, not
// a disk's flush) and stderr kept in a file.
ToolRun runTool(const QString &tool, const QString &root, const QStringList &arguments,
                const QString &errorFile)
{
    const std::string drive = "CARDOMINE_DRIVE_C=" + QFile::encodeName(root).toStdString();
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (!std::string(*e).starts_with("CARDOMINE_DRIVE_C="))
            env.emplace_back(*e);
    }
    env.push_back(drive);
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> args{QFile::encodeName(tool).toStdString()};
    for (const QString &argument : arguments)
        args.push_back(argument.toStdString());
    std::vector<char *> argv;
    for (std::string &s : args)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const QByteArray errorPath = QFile::encodeName(errorFile);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ToolRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return run;
    run.millis = millisSince(start);
    run.started = true;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile err(errorFile);
    if (err.open(QIODevice::ReadOnly))
        run.err = err.readAll();
    return run;
}

// The median of `runs` timings after one run that warms the caches; a negative
// value when the step failed.
double medianMillis(int runs, const std::function<bool()> &prepare,
                    const std::function<bool(double &)> &step)
{
    std::vector<double> samples;
    for (int run = -1; run < runs; ++run) {
        if (!prepare())
            return -1;
        double millis = 0;
        if (!step(millis))
            return -1;
        if (run >= 0)
            samples.push_back(millis);
    }
    return median(samples);
}

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

struct Row
{
    QString command;
    double readMillis = -1;
    double commandMillis = -1;
    QString target;
    bool met = true;
    bool hasTarget = false;
    QString skipped; // why the command was not measured
};

QString cell(double v)
{
    if (v < 0)
        return QStringLiteral("-");
    return QString::number(v, 'f', v >= 100 ? 0 : (v >= 10 ? 1 : 2));
}

void printRows(const std::vector<Row> &rows, int runs, int count)
{
    std::printf("\ncardomine-tool over %d contacts, each with a notes file: the whole process "
                "(start to exit, output\nto /dev/null) against a Qt Core program that starts "
                "alike and only reads the same files,\neach whole; medians of %d runs after one "
                "that warms the caches. adopt and import start from\na fresh data folder each "
                "run.\n\n",
                count, runs);
    std::printf("%-34s %10s %12s %10s  %-18s %s\n", "", "read (ms)", "command (ms)", "ratio (x)",
                "target", "met");
    for (const Row &row : rows) {
        if (!row.skipped.isEmpty()) {
            std::printf("%-34s %s\n", qPrintable(row.command), qPrintable(row.skipped));
            continue;
        }
        const double ratio = row.readMillis > 0 ? row.commandMillis / row.readMillis : -1;
        std::printf(
            "%-34s %10s %12s %10s  %-18s %s\n", qPrintable(row.command),
            qPrintable(cell(row.readMillis)), qPrintable(cell(row.commandMillis)),
            qPrintable(cell(ratio) + (row.hasTarget && !row.met ? QStringLiteral("!") : QString())),
            qPrintable(row.target), row.hasTarget ? (row.met ? "met" : "NOT MET") : "-");
    }
}

// A usage error: this build of the tool does not have the command yet.
bool unknownCommand(const ToolRun &run)
{
    return run.started && run.exitCode == 2;
}

QString skipReason(const ToolRun &run)
{
    return QStringLiteral("skipped: cardomine-tool refused the command line (\"%1\")")
        .arg(QString::fromLocal8Bit(run.err.split('\n').value(0)).trimmed());
}

} // namespace

bool runToolBench(const QString &scratch, const QString &toolPath, const QString &readerPath,
                  int count, int runs)
{
    const QString source = scratch + QStringLiteral("/tool-source");
    const QString target = scratch + QStringLiteral("/tool-target");
    const QString errors = scratch + QStringLiteral("/tool-stderr.txt");
    std::printf("\ncardomine-tool: making a data folder of %d contacts ...\n", count);
    std::fflush(stdout);
    if (!makeDataFolder(source, count)) {
        std::fprintf(stderr, "could not make the data folder %s\n", qPrintable(source));
        return false;
    }
    const auto native = [&](const QString &programPath) {
        const DriveRoot drive(source);
        return platform::nativePath(programPath);
    };
    const QStringList cardFiles{native(paths::IndexFile), native(paths::DataFile)};
    const QString notesFolder = native(paths::NotesFolder);

    std::vector<Row> rows;
    bool ok = true;
    const auto fail = [&](const QString &what, const ToolRun &run) {
        std::fprintf(stderr, "%s failed (exit %d): %s\n", qPrintable(what), run.exitCode,
                     run.err.constData());
        ok = false;
    };

    // The floor: the reader started as the tool is, reading what the command reads.
    const auto timeRead = [&](const QStringList &arguments) {
        ToolRun last;
        const double millis = medianMillis(
            runs, [] { return true; },
            [&](double &ms) {
                last = runTool(readerPath, source, arguments, errors);
                ms = last.millis;
                return last.started && last.exitCode == 0;
            });
        if (millis < 0)
            fail(QStringLiteral("reading the files"), last);
        return millis;
    };

    // export and check: the same card file every run.
    const double readAll =
        timeRead(cardFiles + QStringList{QStringLiteral("--folder"), notesFolder});
    const double readCheck =
        timeRead(cardFiles + QStringList{QStringLiteral("--list"), notesFolder});
    // adopt and import write into a fresh data folder each run. The folders of earlier
    // runs are removed only at the end: a file system without a journal passes over the
    // inodes of files deleted in the last minutes when it makes new ones, so deleting
    // 32,767 notes files just before a run would time that, not the command.
    int targetRun = 0;
    const auto freshTarget = [&]() -> QString {
        return target + u'-' + QString::number(++targetRun);
    };
    const auto currentTarget = [&]() -> QString {
        return target + u'-' + QString::number(targetRun);
    };
    const auto timeCommand = [&](const QStringList &arguments, const std::function<bool()> &prepare,
                                 const std::function<bool(const ToolRun &)> &succeeded,
                                 ToolRun &last) {
        return medianMillis(runs, prepare, [&](double &millis) {
            last = runTool(toolPath, currentTarget(), arguments, errors);
            millis = last.millis;
            return last.started && succeeded(last);
        });
    };
    const auto noPreparation = [] { return true; };
    // export and check read the card file without changing it: timed over the source.
    const auto readingRow = [&](const QStringList &arguments, double readMillis, int times) {
        Row row;
        row.command = arguments.join(u' ');
        row.readMillis = readMillis;
        row.target = QStringLiteral("<= %1 x read").arg(times);
        row.hasTarget = true;
        ToolRun last;
        row.commandMillis = medianMillis(runs, noPreparation, [&](double &millis) {
            last = runTool(toolPath, source, arguments, errors);
            millis = last.millis;
            return last.started && last.exitCode == 0;
        });
        if (row.commandMillis < 0)
            fail(row.command, last);
        row.met = row.commandMillis >= 0 && row.commandMillis <= times * row.readMillis;
        rows.push_back(row);
    };
    for (const QString &format : {QStringLiteral("vcard"), QStringLiteral("csv")})
        readingRow({QStringLiteral("export"), QStringLiteral("--format"), format}, readAll, 3);
    readingRow({QStringLiteral("check")}, readCheck, 3);
    // find reads every record and notes file and compares them all; two words, one of
    // them found in a single contact's boxes.
    readingRow({QStringLiteral("find"), QStringLiteral("springfield"),
                QStringLiteral("benchley%1").arg(count / 2)},
               readAll, 2);

    // adopt: a plain copy of the card file (no seal survives it) brought into a fresh
    // data folder holding one contact of its own.
    {
        const QString folder = scratch + QStringLiteral("/tool-adopt/Pelvarin");
        Row row;
        row.command = QStringLiteral("adopt FOLDER");
        if (!copyFolder(native(paths::DataFolder), folder)) {
            std::fprintf(stderr, "could not copy the card file to %s\n", qPrintable(folder));
            return false;
        }
        row.readMillis = timeRead(
            {folder + QStringLiteral("/Index.tbl"), folder + QStringLiteral("/Cardomine.Dat"),
             QStringLiteral("--folder"), folder + QStringLiteral("/Contact Notes")});
        ToolRun last;
        row.commandMillis = timeCommand(
            {QStringLiteral("adopt"), folder}, [&] { return makeDataFolder(freshTarget(), 1); },
            [&](const ToolRun &run) {
                return run.exitCode == 0 && recordCountOf(currentTarget()) == count;
            },
            last);
        if (unknownCommand(last))
            row.skipped = skipReason(last);
        else if (row.commandMillis < 0)
            fail(row.command, last);
        rows.push_back(row);
    }

    // import: the vCard export of the card file into a fresh, empty card file.
    {
        const QString vcard = scratch + QStringLiteral("/tool-contacts.vcf");
        Row row;
        row.command = QStringLiteral("import FILE (vCard)");
        row.target = QStringLiteral("< 3000 ms");
        row.hasTarget = true;
        const ToolRun exported =
            runTool(toolPath, source,
                    {QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("vcard"),
                     QStringLiteral("--output"), vcard},
                    errors);
        if (!exported.started || exported.exitCode != 0) {
            fail(QStringLiteral("export --output"), exported);
            return false;
        }
        row.readMillis = timeRead({vcard});
        ToolRun last;
        row.commandMillis = timeCommand(
            {QStringLiteral("import"), vcard}, [&] { return makeEmptyCardFile(freshTarget()); },
            [&](const ToolRun &run) {
                return run.exitCode == 0 && recordCountOf(currentTarget()) == count;
            },
            last);
        if (unknownCommand(last)) {
            row.skipped = skipReason(last);
        } else if (row.commandMillis < 0) {
            fail(row.command, last);
        }
        row.met = row.commandMillis >= 0 && row.commandMillis < 3000;
        rows.push_back(row);
    }
    for (int run = 1; run <= targetRun; ++run)
        QDir(target + u'-' + QString::number(run)).removeRecursively();

    printRows(rows, runs, count);
    return ok;
}

} // namespace cardomine::bench
