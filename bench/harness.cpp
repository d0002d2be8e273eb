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
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

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

QString envString(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

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

QString sizeName(int count)
{
    return QLocale(QLocale::English).toString(count);
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
            "Peak memory is each process's own, read after exec.")
            .arg(rounds),
        pairHeaders(), rows);
    c.report.table(QStringLiteral("Start-up memory and growth"), QString(),
                   {QStringLiteral("what"), QStringLiteral("value"), QStringLiteral("target"),
                    QStringLiteral("verdict")},
                   more);
    c.report.load(r.loadBefore, r.loadAfter);
    return true;
}

// Browsing and saving inside one running program, per data folder.
bool windowBlock(const Context &c, const std::array<QString, 3> &roots,
                 const std::array<int, 3> &sizes, int navigationSamples, int saveSamples)
{
    c.report.progress(QStringLiteral("Browsing and saving"));
    const double loadBefore = loadAverage();
    std::array<WindowFigures, 3> figures;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int count = sizes[i];
        WindowFigures &f = figures[i];
        {
            Window w(roots[i]);
            if (!w.loaded) {
                std::fprintf(stderr, "the main window did not load over %d contacts\n", count);
                return false;
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
            return false;
        }
    }

    struct Measure
    {
        QString name;
        std::function<double(const WindowFigures &)> value;
        double limit;
        bool largestOnly;
    };
    const std::vector<Measure> measures{
        {QStringLiteral("navigation median (us)"),
         [](const WindowFigures &f) { return median(f.navigation); }, 100, true},
        {QStringLiteral("navigation p99 (us)"),
         [](const WindowFigures &f) { return quantile(f.navigation, 0.99); }, 1000, true},
        {QStringLiteral("create-save median (ms)"),
         [](const WindowFigures &f) { return median(f.createSave) / 1000.0; }, 5, false},
        {QStringLiteral("edit-save median (ms)"),
         [](const WindowFigures &f) { return median(f.editSave) / 1000.0; }, 5, false},
        {QStringLiteral("edit-save +notes median (ms)"),
         [](const WindowFigures &f) { return median(f.editNotesSave) / 1000.0; }, 5, false},
    };
    std::vector<QStringList> rows;
    for (const Measure &m : measures) {
        QStringList row{m.name};
        bool met = true;
        std::array<double, 3> values{};
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            values[i] = m.value(figures[i]);
            const bool checked = !m.largestOnly || i + 1 == sizes.size();
            const bool ok = values[i] < m.limit;
            met = met && (!checked || ok);
            row << number(values[i]) + (checked && !ok ? QStringLiteral("!") : QString());
        }
        const QString target = QStringLiteral("< %1%2").arg(m.limit).arg(
            m.largestOnly ? QStringLiteral(" at ") + sizeName(sizes[2]) : QString());
        row << target
            << c.report.verdict(
                   {QStringLiteral("window ") + m.name, number(values[2]), target, met, false});
        const double flat = values[0] > 0 ? values[2] / values[0] : 0;
        row << number(flat) + QStringLiteral(" ") +
                   c.report.verdict(
                       {QStringLiteral("window %1 flat (%2 / 1)").arg(m.name, sizeName(sizes[2])),
                        number(flat), QStringLiteral("<= 1.3"), flat <= 1.3, false});
        rows.push_back(row);
    }
    c.report.table(
        QStringLiteral("Browsing and saving in the running program"),
        QStringLiteral(
            "Inside one running program (these are single clicks, not processes): one scroll-bar "
            "change to the boxes filled (%1 samples); the one click that saves (%2 samples), "
            "every write fsynced; edit-save changes a field, edit-save +notes the notes too; "
            "create-save adds notes. `!` marks a value that misses its target.")
            .arg(navigationSamples)
            .arg(saveSamples),
        {QStringLiteral("what"), sizeName(sizes[0]), sizeName(sizes[1]), sizeName(sizes[2]),
         QStringLiteral("target"), QStringLiteral("verdict"),
         QStringLiteral("flat (%1 / 1 <= 1.3)").arg(sizeName(sizes[2]))},
        rows);
    c.report.load(loadBefore, loadAverage());
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
    const int navigationSamples = envInt("CARDOMINE_BENCH_NAVIGATIONS", 3000);
    const int saveSamples = envInt("CARDOMINE_BENCH_SAVES", 100);
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
    if (!makeDataFolder(source, largest)) {
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
        ok = windowBlock(context, roots, sizes, navigationSamples, saveSamples);
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
