// SPDX-License-Identifier: GPL-3.0-or-later
// Cardomine's benchmark: start-up time and peak memory against a bare Qt Widgets
// program, and the per-record cost of browsing, creating and editing, over data
// folders of 1, 1,000 and 32,767 contacts. Prints one table with each target marked
// as met or not. Every save goes through the program's own file services, fsync
// included.

#include "bench/datafolder.h"
#include "bench/stats.h"
#include "bench/syncbench.h"
#include "bench/toolbench.h"
#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/pendingwork.h"
#include "mainwindow/frmwork.h"
#include "platform/fonts.h"
#include "platform/scriptedmessages.h"
#include "startup/mainwindowload.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace cardomine::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<int, 3> Sizes{1, 1000, cardomine::ContactRecord::MaxNumber};
constexpr int Largest = cardomine::ContactRecord::MaxNumber;

double microsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// --- Whole-process runs ---------------------------------------------------------

struct ProcessRun
{
    bool ok = false;
    double millis = 0;  // spawn to exit
    double peakMiB = 0; // the child's peak resident set (VmHWM)
};

ProcessRun runProcess(const char *program, const std::vector<std::string> &extraEnv)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string &assignment : extraEnv) {
        const std::string key = assignment.substr(0, assignment.find('=') + 1);
        std::erase_if(env, [&](const std::string &s) { return s.starts_with(key); });
        env.push_back(assignment);
    }
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string path(program);
    char *argv[] = {path.data(), nullptr};

    ProcessRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()) != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.millis = microsSince(start) / 1000.0;
    run.peakMiB = double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct StartFigures
{
    double millis = 0;
    double peakMiB = 0;
};

// --- In-process runs over a loaded main window ----------------------------------

struct WindowFigures
{
    std::vector<double> navigation;    // microseconds
    std::vector<double> createSave;    // microseconds
    std::vector<double> editSave;      // microseconds, a field changed
    std::vector<double> editNotesSave; // microseconds, a field and the notes changed
    QString problem;
};

class Window
{
public:
    explicit Window(const QString &root)
        : m_drive(root)
    {
        CurrentRecord = ContactRecord();
        IndexLines.clear();
        platform::setMessageService(&messages);
        window = new FrmWork;
        loaded = startup::loadMainWindow(*window) == startup::LoadResult::Ready;
        messages.clear();
    }
    ~Window()
    {
        delete window;
        platform::setMessageService(nullptr);
        // As the program's clean exit does: browsing leaves a spent marker behind, which
        // the sync pass would take for a save cut short.
        pendingwork::removeSpent();
    }
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    QString shownId() const { return window->ID->text().trimmed(); }

    DriveRoot m_drive;
    platform::ScriptedMessageService messages;
    FrmWork *window = nullptr;
    bool loaded = false;
};

QString measureNavigation(Window &w, int count, int samples, std::vector<double> &out)
{
    QScrollBar *bar = w.window->ScrollBar;
    std::mt19937 random(20240601u + unsigned(count));
    if (count == 1) {
        // One contact: step to the empty position after it (it reads as spaces) and
        // time each step back onto the contact.
        bar->setMaximum(2);
        for (int i = 0; i < samples; ++i) {
            bar->setValue(2);
            const Clock::time_point start = Clock::now();
            bar->setValue(1);
            out.push_back(microsSince(start));
            if (w.shownId() != QLatin1String("1"))
                return QStringLiteral("record 1 not shown");
        }
        bar->setMaximum(1);
        return {};
    }
    std::uniform_int_distribution<int> pick(1, count);
    for (int i = 0; i < samples; ++i) {
        int v = pick(random);
        if (v == bar->value())
            v = v == count ? 1 : v + 1;
        const Clock::time_point start = Clock::now();
        bar->setValue(v);
        out.push_back(microsSince(start));
        if (w.shownId() != QString::number(v))
            return QStringLiteral("record %1 not shown").arg(v);
    }
    return {};
}

QString measureEdit(Window &w, int count, int samples, bool changeNotes, std::vector<double> &out)
{
    std::mt19937 random((changeNotes ? 78u : 77u) + unsigned(count));
    std::uniform_int_distribution<int> pick(1, count);
    for (int i = 0; i < samples; ++i) {
        const int v = pick(random);
        w.window->ScrollBar->setValue(v);
        w.window->editButton->click();
        w.window->fname->setText(QStringLiteral("Edited%1").arg(i));
        if (changeNotes)
            w.window->notes->setPlainText(QStringLiteral("Edited notes %1").arg(i));
        w.messages.queueAnswer(platform::MessageAnswer::Yes);
        const Clock::time_point start = Clock::now();
        w.window->editButton->click();
        out.push_back(microsSince(start));
        if (!w.window->editTag().isEmpty() || w.messages.pendingAnswers() != 0 ||
            !w.messages.unexpected().isEmpty() || w.messages.shown().size() != 1)
            return QStringLiteral("edit of record %1 not saved").arg(v);
        if (CurrentRecord.FirstName.text().trimmed() != QStringLiteral("Edited%1").arg(i))
            return QStringLiteral("edit of record %1 lost").arg(v);
        w.messages.clear();
    }
    return {};
}

QString measureCreate(Window &w, int first, int samples, std::vector<double> &out)
{
    for (int i = 0; i < samples; ++i) {
        const int number = first + i;
        w.window->createButton->click();
        if (w.shownId() != QString::number(number))
            return QStringLiteral("create did not offer record %1").arg(number);
        w.window->fname->setText(QStringLiteral("New%1").arg(number));
        w.window->lname->setText(QStringLiteral("Person"));
        w.window->company->setText(QStringLiteral("Newco"));
        w.window->homephone->setText(QStringLiteral("555.0000"));
        w.window->notes->setPlainText(QStringLiteral("Created by the benchmark"));
        const Clock::time_point start = Clock::now();
        w.window->exitButton->click();
        out.push_back(microsSince(start));
        if (indexfile::recordCount(IndexLines) != number || w.shownId() != QLatin1String("1") ||
            !w.messages.unexpected().isEmpty())
            return QStringLiteral("record %1 not created").arg(number);
        w.messages.clear();
    }
    return {};
}

// --- The table ------------------------------------------------------------------

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
    QString load;
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        load = QString::fromLatin1(loadavg.readAll()).section(u' ', 0, 2);
    return QStringLiteral("%1 x %2, load average %3")
        .arg(QThread::idealThreadCount())
        .arg(model, load);
}

struct Row
{
    QString name;
    std::array<double, 3> value{};
    QString unit;
    QString target;
    std::array<bool, 3> checked{}; // which sizes the target applies to
    std::array<bool, 3> met{};
    bool flatCheck = true;
};

QString number(double v)
{
    if (v >= 100)
        return QString::number(v, 'f', 0);
    if (v >= 10)
        return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 2);
}

void printTable(const std::vector<Row> &rows, int &metCount, int &targetCount)
{
    std::printf("%-30s %10s %10s %10s  %-26s %-8s %s\n", "", "1", "1,000", "32,767", "target",
                "met", "flat (32,767 / 1 <= 1.3)");
    for (const Row &row : rows) {
        QString cells[3];
        bool allMet = true;
        bool anyChecked = false;
        for (int i = 0; i < 3; ++i) {
            cells[i] = number(row.value[i]);
            if (row.checked[i]) {
                anyChecked = true;
                allMet = allMet && row.met[i];
                if (!row.met[i])
                    cells[i] += u'!';
            }
        }
        QString met = QStringLiteral("-");
        if (anyChecked) {
            met = allMet ? QStringLiteral("met") : QStringLiteral("NOT MET");
            ++targetCount;
            metCount += allMet ? 1 : 0;
        }
        QString flat = QStringLiteral("-");
        if (row.flatCheck) {
            const double ratio = row.value[0] > 0 ? row.value[2] / row.value[0] : 0;
            const bool ok = ratio <= 1.3;
            flat = QStringLiteral("%1  %2").arg(QString::number(ratio, 'f', 2),
                                                ok ? QStringLiteral("met")
                                                   : QStringLiteral("NOT MET"));
            ++targetCount;
            metCount += ok ? 1 : 0;
        }
        const QString name = row.name + QStringLiteral(" (") + row.unit + u')';
        std::printf("%-30s %10s %10s %10s  %-26s %-8s %s\n", qPrintable(name), qPrintable(cells[0]),
                    qPrintable(cells[1]), qPrintable(cells[2]), qPrintable(row.target),
                    qPrintable(met), qPrintable(flat));
    }
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

    const int startRuns = envInt("CARDOMINE_BENCH_RUNS", 7);
    const int navigationSamples = envInt("CARDOMINE_BENCH_NAVIGATIONS", 3000);
    const int saveSamples = envInt("CARDOMINE_BENCH_SAVES", 100);

    std::printf("Cardomine benchmark: %s\n", qPrintable(machineLine()));
    const int toolRuns = envInt("CARDOMINE_BENCH_TOOL_RUNS", 5);
    if (qEnvironmentVariable("CARDOMINE_BENCH_ONLY") == QLatin1String("tool"))
        return runToolBench(scratch.path(), QStringLiteral(CARDOMINE_BENCH_TOOL),
                            QStringLiteral(CARDOMINE_BENCH_READ), Largest, toolRuns)
                   ? 0
                   : 1;
    std::printf("Making data folders of 1, 1,000 and 32,767 contacts in %s ...\n",
                qPrintable(scratch.path()));
    std::fflush(stdout);
    std::array<QString, 3> roots;
    for (std::size_t i = 0; i < Sizes.size(); ++i) {
        roots[i] = scratch.path() + QStringLiteral("/drive%1").arg(Sizes[i]);
        if (!makeDataFolder(roots[i], Sizes[i])) {
            std::fprintf(stderr, "could not make the data folder %s\n", qPrintable(roots[i]));
            return 1;
        }
    }

    // Start-up: the baseline and each data folder in turn, so that load from other
    // programs falls on all of them alike. One unmeasured round first warms the caches.
    std::printf("Start-up: %d runs each ...\n", startRuns);
    std::fflush(stdout);
    std::vector<double> baseMillis, baseMiB;
    std::array<std::vector<double>, 3> startMillis, startMiB;
    for (int run = -1; run < startRuns; ++run) {
        const ProcessRun base = runProcess(CARDOMINE_BENCH_BASELINE, {});
        if (!base.ok) {
            std::fprintf(stderr, "the baseline program failed\n");
            return 1;
        }
        if (run >= 0) {
            baseMillis.push_back(base.millis);
            baseMiB.push_back(base.peakMiB);
        }
        for (std::size_t i = 0; i < Sizes.size(); ++i) {
            const ProcessRun start = runProcess(
                CARDOMINE_BENCH_START,
                {"CARDOMINE_DRIVE_C=" + std::string(QFile::encodeName(roots[i]).constData())});
            if (!start.ok) {
                std::fprintf(stderr, "the start-up with %d contacts failed\n", Sizes[i]);
                return 1;
            }
            if (run >= 0) {
                startMillis[i].push_back(start.millis);
                startMiB[i].push_back(start.peakMiB);
            }
        }
    }

    std::printf("Browsing and saving: %d navigations, %d creates and 2 x %d edits each ...\n",
                navigationSamples, saveSamples, saveSamples);
    std::fflush(stdout);
    std::array<WindowFigures, 3> figures;
    for (std::size_t i = 0; i < Sizes.size(); ++i) {
        const int count = Sizes[i];
        WindowFigures &f = figures[i];
        {
            Window w(roots[i]);
            if (!w.loaded) {
                std::fprintf(stderr, "the main window did not load over %d contacts\n", count);
                return 1;
            }
            f.problem = measureNavigation(w, count, navigationSamples, f.navigation);
            if (f.problem.isEmpty())
                f.problem = measureEdit(w, count, saveSamples, false, f.editSave);
            if (f.problem.isEmpty())
                f.problem = measureEdit(w, count, saveSamples, true, f.editNotesSave);
        }
        // Creating needs free numbers: the card file steps back by the number of
        // creates (with one contact, the creates go on from it).
        const int first = std::max(1, count - saveSamples);
        if (f.problem.isEmpty() && !keepFirstRecords(roots[i], first))
            f.problem = QStringLiteral("could not cut the card file back");
        if (f.problem.isEmpty()) {
            Window w(roots[i]);
            f.problem = w.loaded ? measureCreate(w, first + 1, saveSamples, f.createSave)
                                 : QStringLiteral("the main window did not load");
        }
        if (!f.problem.isEmpty()) {
            std::fprintf(stderr, "%d contacts: %s\n", count, qPrintable(f.problem));
            return 1;
        }
    }

    std::printf("Sync: a pass with nothing changed, %d runs each ...\n", startRuns);
    std::fflush(stdout);
    QString syncProblem;
    const std::array<std::vector<double>, 3> syncMillis =
        measureQuietSync(roots, scratch.path(), startRuns, syncProblem);
    if (!syncProblem.isEmpty()) {
        std::fprintf(stderr, "sync: %s\n", qPrintable(syncProblem));
        return 1;
    }

    const double baseTime = median(baseMillis);
    const double basePeak = median(baseMiB);
    std::vector<Row> rows;
    Row time{QStringLiteral("start-up"), {}, QStringLiteral("ms"), QString(), {}, {}, true};
    Row timeRatio{QStringLiteral("start-up / baseline"),
                  {},
                  QStringLiteral("x"),
                  QStringLiteral("<= 1.5"),
                  {true, true, true},
                  {},
                  false};
    Row peak{QStringLiteral("peak memory"), {}, QStringLiteral("MiB"), QString(), {}, {}, true};
    Row peakRatio{QStringLiteral("peak memory / baseline"),
                  {},
                  QStringLiteral("x"),
                  QString(),
                  {},
                  {},
                  false};
    Row peakExtra{QStringLiteral("peak memory - baseline"),
                  {},
                  QStringLiteral("MiB"),
                  QStringLiteral("<= 12"),
                  {true, true, true},
                  {},
                  false};
    Row navMedian{QStringLiteral("navigation median"),
                  {},
                  QStringLiteral("us"),
                  QStringLiteral("< 100 at 32,767"),
                  {false, false, true},
                  {},
                  true};
    Row navP99{QStringLiteral("navigation p99"),
               {},
               QStringLiteral("us"),
               QStringLiteral("< 1000 at 32,767"),
               {false, false, true},
               {},
               true};
    Row create{QStringLiteral("create-save median"),
               {},
               QStringLiteral("ms"),
               QStringLiteral("< 5"),
               {true, true, true},
               {},
               true};
    Row edit{QStringLiteral("edit-save median"),
             {},
             QStringLiteral("ms"),
             QStringLiteral("< 5"),
             {true, true, true},
             {},
             true};
    Row editNotes{QStringLiteral("edit-save +notes median"),
                  {},
                  QStringLiteral("ms"),
                  QStringLiteral("< 5"),
                  {true, true, true},
                  {},
                  true};
    Row quietSync{QStringLiteral("sync pass, nothing changed"),
                  {},
                  QStringLiteral("ms"),
                  QStringLiteral("< 500 at 32,767"),
                  {false, false, true},
                  {},
                  false};
    for (std::size_t i = 0; i < Sizes.size(); ++i) {
        quietSync.value[i] = median(syncMillis[i]);
        quietSync.met[i] = quietSync.value[i] < 500.0;
    }
    for (std::size_t i = 0; i < Sizes.size(); ++i) {
        time.value[i] = median(startMillis[i]);
        timeRatio.value[i] = time.value[i] / baseTime;
        timeRatio.met[i] = timeRatio.value[i] <= 1.5;
        peak.value[i] = median(startMiB[i]);
        peakRatio.value[i] = peak.value[i] / basePeak;
        peakExtra.value[i] = peak.value[i] - basePeak;
        peakExtra.met[i] = peakExtra.value[i] <= 12.0;
        navMedian.value[i] = median(figures[i].navigation);
        navMedian.met[i] = navMedian.value[i] < 100.0;
        navP99.value[i] = quantile(figures[i].navigation, 0.99);
        navP99.met[i] = navP99.value[i] < 1000.0;
        create.value[i] = median(figures[i].createSave) / 1000.0;
        create.met[i] = create.value[i] < 5.0;
        edit.value[i] = median(figures[i].editSave) / 1000.0;
        edit.met[i] = edit.value[i] < 5.0;
        editNotes.value[i] = median(figures[i].editNotesSave) / 1000.0;
        editNotes.met[i] = editNotes.value[i] < 5.0;
    }
    rows = {time,      timeRatio, peak,   peakRatio, peakExtra,
            navMedian, navP99,    create, edit,      editNotes};
    rows.push_back(quietSync);

    std::printf("\nBaseline (bare Qt Widgets window, 601x381): %s ms, %s MiB peak; medians of %d "
                "runs.\n",
                qPrintable(number(baseTime)), qPrintable(number(basePeak)), startRuns);
    std::printf("Start-up: process start to first record shown, splash included. Navigation: "
                "one scroll-bar change to\nthe boxes filled. Saves: the one click that saves, "
                "every write fsynced; edit-save changes a\nfield, edit-save +notes the notes "
                "too; create-save adds notes. Creates add the last %d numbers\nup to N (with 1 "
                "contact: numbers 2 and up).\n\n",
                saveSamples);
    int met = 0;
    int targets = 0;
    printTable(rows, met, targets);
    std::printf("\n%d of %d targets met (! marks a value that misses its target). Largest "
                "size: %d.\n",
                met, targets, Largest);
    std::fflush(stdout);

    return runToolBench(scratch.path(), QStringLiteral(CARDOMINE_BENCH_TOOL),
                        QStringLiteral(CARDOMINE_BENCH_READ), Largest, toolRuns)
               ? 0
               : 1;
}
