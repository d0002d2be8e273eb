// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/windowbench.h"

#include "bench/datafolder.h"
#include "bench/stats.h"
#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/pendingwork.h"
#include "mainwindow/frmwork.h"
#include "platform/scriptedmessages.h"
#include "startup/mainwindowload.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace cardomine::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The calling thread's own CPU time: time spent waiting for a processor on a busy
// machine does not count (nor does a wait on the disk).
double threadCpuMicros()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// One block of samples, each on both clocks, in microseconds.
struct Timings
{
    std::vector<double> wall;
    std::vector<double> cpu;

    void append(const Timings &other)
    {
        wall.insert(wall.end(), other.wall.begin(), other.wall.end());
        cpu.insert(cpu.end(), other.cpu.begin(), other.cpu.end());
    }
};

class Stopwatch
{
public:
    Stopwatch()
        : m_wall(Clock::now())
        , m_cpu(threadCpuMicros())
    {}
    void stopInto(Timings &out) const
    {
        const double cpu = threadCpuMicros();
        out.wall.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - m_wall).count());
        out.cpu.push_back(cpu - m_cpu);
    }

private:
    Clock::time_point m_wall;
    double m_cpu;
};

enum Kind
{
    Navigation,
    CreateSave,
    EditSave,
    EditNotesSave,
    KindCount
};
using RoundFigures = std::array<Timings, KindCount>;

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

QString measureNavigation(Window &w, int count, int samples, unsigned seed, Timings &out)
{
    QScrollBar *bar = w.window->ScrollBar;
    if (count == 1) {
        // One contact: step to the empty position after it (it reads as spaces) and
        // time each step back onto the contact.
        bar->setMaximum(2);
        for (int i = 0; i < samples; ++i) {
            bar->setValue(2);
            const Stopwatch watch;
            bar->setValue(1);
            watch.stopInto(out);
            if (w.shownId() != QLatin1String("1"))
                return QStringLiteral("record 1 not shown");
        }
        bar->setMaximum(1);
        return {};
    }
    std::mt19937 random(seed + unsigned(count));
    std::uniform_int_distribution<int> pick(1, count);
    for (int i = 0; i < samples; ++i) {
        int v = pick(random);
        if (v == bar->value())
            v = v == count ? 1 : v + 1;
        const Stopwatch watch;
        bar->setValue(v);
        watch.stopInto(out);
        if (w.shownId() != QString::number(v))
            return QStringLiteral("record %1 not shown").arg(v);
    }
    return {};
}

// Every edit writes a text the record has not held before, so each click has a change
// to save.
int editSerial = 0;

QString measureEdit(Window &w, int count, int samples, bool changeNotes, unsigned seed,
                    Timings &out)
{
    std::mt19937 random(seed + (changeNotes ? 78u : 77u) + unsigned(count));
    std::uniform_int_distribution<int> pick(1, count);
    for (int i = 0; i < samples; ++i) {
        const int v = pick(random);
        const QString name = QStringLiteral("Ed%1").arg(++editSerial);
        w.window->ScrollBar->setValue(v);
        w.window->editButton->click();
        w.window->fname->setText(name);
        if (changeNotes)
            w.window->notes->setPlainText(QStringLiteral("Edited notes %1").arg(editSerial));
        w.messages.queueAnswer(platform::MessageAnswer::Yes);
        const Stopwatch watch;
        w.window->editButton->click();
        watch.stopInto(out);
        if (!w.window->editTag().isEmpty() || w.messages.pendingAnswers() != 0 ||
            !w.messages.unexpected().isEmpty() || w.messages.shown().size() != 1)
            return QStringLiteral("edit of record %1 not saved").arg(v);
        if (CurrentRecord.FirstName.text().trimmed() != name)
            return QStringLiteral("edit of record %1 lost").arg(v);
        w.messages.clear();
    }
    return {};
}

QString measureCreate(Window &w, int first, int samples, Timings &out)
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
        const Stopwatch watch;
        w.window->exitButton->click();
        watch.stopInto(out);
        if (indexfile::recordCount(IndexLines) != number || w.shownId() != QLatin1String("1") ||
            !w.messages.unexpected().isEmpty())
            return QStringLiteral("record %1 not created").arg(number);
        w.messages.clear();
    }
    return {};
}

// Navigations after the window opens that are not counted: the first steps fault in
// the fonts and pages every later step finds ready.
constexpr int WarmNavigations = 50;

// One data folder's navigations in a round, in a window of their own.
QString measureNavigations(const QString &root, int count, int navigations, unsigned seed,
                           RoundFigures &out)
{
    Window w(root);
    if (!w.loaded)
        return QStringLiteral("the main window did not load");
    Timings warm;
    QString problem = measureNavigation(w, count, WarmNavigations, seed + 1, warm);
    if (problem.isEmpty())
        problem = measureNavigation(w, count, navigations, seed, out[Navigation]);
    return problem;
}

// One data folder's saves in a round: creates into free numbers at its end, then, with
// the card file back at `count` contacts, both kinds of edit.
QString measureSaves(const QString &root, int count, int saves, unsigned seed, RoundFigures &out)
{
    // With one contact the creates go on from it; otherwise the card file steps back
    // by the number of creates, which bring it to its size again.
    const int first = std::max(1, count - saves);
    if (!keepFirstRecords(root, first))
        return QStringLiteral("could not cut the card file back");
    {
        Window w(root);
        if (!w.loaded)
            return QStringLiteral("the main window did not load");
        if (QString problem = measureCreate(w, first + 1, saves, out[CreateSave]);
            !problem.isEmpty())
            return problem;
    }
    if (first + saves != count && !keepFirstRecords(root, count))
        return QStringLiteral("could not cut the card file back");
    Window w(root);
    if (!w.loaded)
        return QStringLiteral("the main window did not load");
    QString problem = measureEdit(w, count, saves, false, seed, out[EditSave]);
    if (problem.isEmpty())
        problem = measureEdit(w, count, saves, true, seed, out[EditNotesSave]);
    return problem;
}

struct Measure
{
    QString name;
    Kind kind;
    bool cpu;     // thread CPU time, else wall clock
    double q;     // the quantile shown
    double scale; // microseconds per unit shown
    double limit; // < 0: shown, not judged
    bool largestOnly;
    bool quietestRound = false; // the lowest of the rounds' figures, else all samples'
};

double valueOf(const Measure &m, const Timings &t)
{
    return quantile(m.cpu ? t.cpu : t.wall, m.q) / m.scale;
}

} // namespace

bool runWindowBench(const Context &c, const std::array<QString, 3> &roots,
                    const std::array<int, 3> &sizes, const WindowSettings &settings)
{
    const int rounds = std::max(1, settings.rounds);
    const int navigations = std::max(1, settings.navigations / rounds);
    const int saves = std::max(1, settings.saves / rounds);
    c.report.progress(QStringLiteral("Browsing and saving: %1 rounds").arg(rounds));
    const double loadBefore = loadAverage();
    double loadLow = loadBefore;
    double loadHigh = loadBefore;

    // figures[size][round]. In each round the sizes compared (one contact and the
    // largest) come one right after the other, the first of them swapped every other
    // round; 1,000 comes last. Navigations first, then saves, so that the blocks compared
    // are close in time.
    std::array<std::vector<RoundFigures>, 3> figures;
    for (int round = -1; round < rounds; ++round) {
        const std::array<std::size_t, 3> order = round % 2 == 0
                                                     ? std::array<std::size_t, 3>{0, 2, 1}
                                                     : std::array<std::size_t, 3>{2, 0, 1};
        const unsigned seed = 20240601u + unsigned(round + 1) * 7919u;
        std::array<RoundFigures, 3> one;
        for (const bool saving : {false, true}) {
            for (const std::size_t i : order) {
                const QString problem =
                    saving ? measureSaves(roots[i], sizes[i], saves, seed, one[i])
                           : measureNavigations(roots[i], sizes[i], navigations, seed, one[i]);
                if (!problem.isEmpty()) {
                    std::fprintf(stderr, "%d contacts: %s\n", sizes[i], qPrintable(problem));
                    return false;
                }
            }
        }
        if (round >= 0) {
            for (std::size_t i = 0; i < sizes.size(); ++i)
                figures[i].push_back(one[i]);
        }
        const double load = loadAverage();
        loadLow = std::min(loadLow, load);
        loadHigh = std::max(loadHigh, load);
    }

    const auto us = [](const QString &what, bool wall) -> QString {
        return what + (wall ? QStringLiteral(", wall clock (us)") : QStringLiteral(" (us)"));
    };
    const std::vector<Measure> measures{
        {us(QStringLiteral("navigation median"), false), Navigation, true, 0.5, 1, 100, true, true},
        {QStringLiteral("navigation median, all rounds (us)"), Navigation, true, 0.5, 1, -1, true},
        {us(QStringLiteral("navigation median"), true), Navigation, false, 0.5, 1, -1, true},
        {us(QStringLiteral("navigation p99"), false), Navigation, true, 0.99, 1, 1000, true},
        {us(QStringLiteral("navigation p99"), true), Navigation, false, 0.99, 1, -1, true},
        {QStringLiteral("create-save median (ms)"), CreateSave, false, 0.5, 1000, 5, false},
        {QStringLiteral("edit-save median (ms)"), EditSave, false, 0.5, 1000, 5, false},
        {QStringLiteral("edit-save +notes median (ms)"), EditNotesSave, false, 0.5, 1000, 5, false},
    };
    const std::size_t largest = sizes.size() - 1;
    std::vector<QStringList> rows;
    for (const Measure &m : measures) {
        const bool judged = m.limit >= 0;
        QStringList row{m.name};
        bool met = true;
        std::array<double, 3> values{};
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            Timings all;
            double quietest = -1;
            for (const RoundFigures &one : figures[i]) {
                all.append(one[m.kind]);
                const double value = valueOf(m, one[m.kind]);
                quietest = quietest < 0 ? value : std::min(quietest, value);
            }
            values[i] = m.quietestRound ? quietest : valueOf(m, all);
            const bool checked = judged && (!m.largestOnly || i == largest);
            const bool ok = values[i] < m.limit;
            met = met && (!checked || ok);
            row << number(values[i]) + (checked && !ok ? QStringLiteral("!") : QString());
        }
        const QString target =
            judged
                ? QStringLiteral("< %1%2").arg(m.limit).arg(
                      m.largestOnly ? QStringLiteral(" at ") + sizeName(sizes[largest]) : QString())
                : QStringLiteral("-");
        row << target
            << (judged ? c.report.verdict({QStringLiteral("window ") + m.name,
                                           number(values[largest]), target, met, false})
                       : QStringLiteral("-"));
        // How the largest size compares with one contact, round by round.
        std::vector<double> perRound;
        for (std::size_t r = 0; r < figures[0].size() && r < figures[largest].size(); ++r) {
            const double one = valueOf(m, figures[0][r][m.kind]);
            perRound.push_back(one > 0 ? valueOf(m, figures[largest][r][m.kind]) / one : 0);
        }
        const Ratio flat = spread(perRound);
        row << ratioCell(flat) + QStringLiteral(" ") +
                   (judged ? c.report.verdict({QStringLiteral("window %1 flat (%2 / 1)")
                                                   .arg(m.name, sizeName(sizes[largest])),
                                               number(flat.median), QStringLiteral("<= 1.3"),
                                               flat.median <= 1.3, false})
                           : QStringLiteral("-"));
        rows.push_back(row);
    }
    c.report.table(
        QStringLiteral("Browsing and saving in the running program"),
        QStringLiteral(
            "Inside one running program (these are single clicks, not processes): one scroll-bar "
            "change to the boxes filled; the one click that saves, every write fsynced; "
            "edit-save changes a field, edit-save +notes the notes too; create-save adds notes. "
            "%1 rounds after one that warms the caches. Each round opens the data folder of "
            "each size in turn, one contact and %5 back to back (which first swapped every "
            "other round), and takes %2 navigations of each (after %3 not counted), then in "
            "the same order %4 saves of each kind, so the sizes compared share the machine's "
            "load. A size's figure is over all its samples, except the judged navigation "
            "median: the lowest of the rounds' medians, the round the machine disturbed least "
            "(a program busy on the other processor slows every step, CPU time included, by "
            "up to 1.7 times). Navigation is timed in the thread's CPU time (time spent "
            "waiting for a processor does not count), its wall clock shown beside; saves in "
            "wall clock, as they wait on the disk. Flat: the ratio %5 / 1 taken within each "
            "round, its median (min–max) judged. `!` marks a value "
            "that misses its target.")
            .arg(rounds)
            .arg(navigations)
            .arg(WarmNavigations)
            .arg(saves)
            .arg(sizeName(sizes[largest])),
        {QStringLiteral("what"), sizeName(sizes[0]), sizeName(sizes[1]), sizeName(sizes[2]),
         QStringLiteral("target"), QStringLiteral("verdict"),
         QStringLiteral("flat (%1 / 1 <= 1.3; min–max)").arg(sizeName(sizes[largest]))},
        rows);
    c.report.load(loadBefore, loadAverage());
    c.report.note(QStringLiteral("Load average between rounds %1 to %2.")
                      .arg(QString::number(loadLow, 'f', 2), QString::number(loadHigh, 'f', 2)));
    return true;
}

} // namespace cardomine::bench
