// SPDX-License-Identifier: GPL-3.0-or-later
// Saves and the start-up repair, played for real: copied-in folders, a lost index,
// file size limits that cut writes short.

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/repairplan.h"
#include "mainwindow/about.h"
#include "platform/drive.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"
#include "tests/reliability/realworld.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace cardomine::testing {

namespace {

constexpr int Length = ContactRecord::Length;

QByteArray notesOf(int id)
{
    return "Old notes of contact " + QByteArray::number(id) + "\r\n";
}

// A card file of `records` contacts with notes, as another copy of the program left
// it; sealed or, as a plain copy brings it in, without any seal.
void layOut(Situation &s, int records, int count, bool sealed)
{
    QByteArray data;
    for (int i = 1; i <= records; ++i) {
        data += LoadedWindow::recordBytes(i);
        s.drive.writeFile(notes::pathFor(i), notesOf(i));
    }
    s.drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(count));
    s.drive.writeFile(paths::DataFile, data);
    if (sealed) {
        platform::files::setAttributes(paths::IndexFile, 5);
        platform::files::setAttributes(paths::DataFile, 7);
    } else {
        QStringList plain = {paths::IndexFile, paths::DataFile};
        for (int i = 1; i <= records; ++i)
            plain << notes::pathFor(i);
        for (const QString &path : plain)
            QFile::setPermissions(s.drive.native(path), QFile::ReadOwner | QFile::WriteOwner |
                                                            QFile::ReadGroup | QFile::ReadOther);
    }
    for (int i = 1; i <= records; ++i)
        s.keep(i);
}

std::unique_ptr<FrmWork> start()
{
    CurrentRecord = ContactRecord();
    IndexLines.clear();
    auto window = std::make_unique<FrmWork>();
    if (startup::loadMainWindow(*window) != startup::LoadResult::Ready)
        return nullptr;
    return window;
}

// Create New, typed in, up to the moment Save New Record is clicked.
void typeNewContact(FrmWork &w, const QString &name, const QString &notes)
{
    QTest::mouseClick(w.createButton, Qt::LeftButton);
    QTest::keyClicks(w.fname, name);
    QTest::keyClicks(w.lname, QStringLiteral("Newperson"));
    QTest::keyClicks(w.company, QStringLiteral("Newco"));
    QTest::keyClicks(w.homephone, QStringLiteral("555.123.4567"));
    QTest::keyClicks(w.notes, notes);
}

void createContact(FrmWork &w, const QString &name, const QString &notes)
{
    typeNewContact(w, name, notes);
    QTest::mouseClick(w.exitButton, Qt::LeftButton);
}

QStringList titles(const platform::ScriptedMessageService &messages)
{
    QStringList out;
    for (const platform::MessageBox &box : messages.shown())
        out << box.title;
    return out;
}

bool repaired(const platform::ScriptedMessageService &messages)
{
    const QStringList shown = titles(messages);
    return shown.contains(u"File Corruption Notice!") ||
           shown.contains(u"File Update Will Occur Now. . .");
}

QStringList pendingLeftovers(const Situation &s)
{
    return QDir(s.drive.native(paths::DataFolder))
        .entryList({QStringLiteral(".Cardomine.pending.tmp-*")}, QDir::Files | QDir::Hidden);
}

// Runs the save of the contact typed in w in a child process whose files may grow to
// `limit` bytes, with SIGXFSZ at its default: the kernel ends the child when a write
// passes the limit, as `ulimit -f` does in a shell. Returns the signal that ended it.
int saveInChildUnderLimit(FrmWork &w, rlim_t limit)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        rlimit size{};
        ::getrlimit(RLIMIT_FSIZE, &size);
        size.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &size);
        QTest::mouseClick(w.exitButton, Qt::LeftButton);
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// Lowers this process's file size limit, with SIGXFSZ ignored so that a write past it
// fails with EFBIG, as on a full disk; both are restored with the object.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
};

void copiedFolderRepairKeepsOldNotes(Situation &s)
{
    // A folder copied in from elsewhere: plain 0644 files, no seal.
    layOut(s, 5, 5, false);
    auto w = start();
    QVERIFY(w);
    QVERIFY(repaired(s.messages));
    createContact(*w, QStringLiteral("Second"), QString());
    createContact(*w, QStringLiteral("Third"), QStringLiteral("New notes of three"));
    QCOMPARE(w->ScrollBar->maximum(), 3);
    // The new contacts have only their own notes: none for 2, the typed ones for 3.
    QVERIFY(!QFile::exists(s.drive.native(notes::pathFor(2))));
    QCOMPARE(s.drive.readFile(notes::pathFor(3)), QByteArray("New notes of three\r\n"));
    for (int i = 4; i <= 5; ++i)
        QVERIFY2(!QFile::exists(s.drive.native(notes::pathFor(i))), "old notes left in place");
    QVERIFY(s.messages.unexpected().isEmpty());
}

void lostIndexKeepsSavedContacts(Situation &s)
{
    {
        auto w = start(); // first run
        QVERIFY(w);
        createContact(*w, QStringLiteral("Alice"), QStringLiteral("Alice's notes"));
        createContact(*w, QStringLiteral("Bob"), QStringLiteral("Bob's notes"));
    }
    for (int i = 1; i <= 3; ++i)
        s.keep(i);
    QVERIFY(QFile::remove(s.drive.native(paths::IndexFile)));
    s.messages.clear();

    auto w = start();
    QVERIFY(w);
    QCOMPARE(titles(s.messages).filter(u"File ").join(u'|'),
             QStringLiteral("File Creation Notice!"));
    QCOMPARE(w->ScrollBar->maximum(), 3);
    createContact(*w, QStringLiteral("Carol"), QStringLiteral("Carol's notes"));
    QCOMPARE(s.drive.readFile(paths::DataFile).size(), 4 * Length);
    QCOMPARE(s.drive.readFile(notes::pathFor(4)), QByteArray("Carol's notes\r\n"));
    QVERIFY(s.messages.unexpected().isEmpty());
}

void sealedCountOfZeroKeepsRecords(Situation &s)
{
    layOut(s, 2, 0, true);
    auto w = start();
    QVERIFY(w);
    QVERIFY(!repaired(s.messages));
    createContact(*w, QStringLiteral("Newest"), QStringLiteral("Newest notes"));
    QCOMPARE(s.drive.readFile(paths::DataFile).size(), 3 * Length);
    QCOMPARE(s.drive.readFile(notes::pathFor(3)), QByteArray("Newest notes\r\n"));
    QVERIFY(s.messages.unexpected().isEmpty());
}

void cutShortWritesUnderSizeLimit(Situation &s)
{
    // Eight records are 1992 bytes; `ulimit -f 2` lets files grow to 2048.
    layOut(s, 8, 8, true);
    const QByteArray data = s.drive.readFile(paths::DataFile);
    {
        auto w = start();
        QVERIFY(w);
        // Under 1 KiB the save's marker is cut short before anything is unsealed; under
        // 2 KiB the new record's write is.
        typeNewContact(*w, QStringLiteral("Ninth"), QStringLiteral("Ninth notes"));
        QCOMPARE(saveInChildUnderLimit(*w, 1024), SIGXFSZ);
        QVERIFY(!pendingLeftovers(s).isEmpty());
    }
    s.messages.clear();
    {
        auto w = start();
        QVERIFY(w);
        QVERIFY2(!repaired(s.messages), qPrintable(titles(s.messages).join(u'|')));
        QCOMPARE(pendingLeftovers(s), QStringList());
        typeNewContact(*w, QStringLiteral("Ninth"), QStringLiteral("Ninth notes"));
        QCOMPARE(saveInChildUnderLimit(*w, 2048), SIGXFSZ);
        QCOMPARE(s.drive.readFile(paths::DataFile).size(), 2048);
    }
    s.messages.clear();
    auto w = start();
    QVERIFY(w);
    QVERIFY2(!repaired(s.messages), qPrintable(titles(s.messages).join(u'|')));
    QCOMPARE(s.drive.readFile(paths::DataFile), data);
    QCOMPARE(platform::files::attributes(paths::DataFile), 7);
    QCOMPARE(w->ScrollBar->maximum(), 8);
    w->ScrollBar->setValue(8);
    QCOMPARE(w->fname->text(), QStringLiteral("First8    "));
    QVERIFY(s.messages.unexpected().isEmpty());
}

void failedNotesWriteSaysWhatWasStored(Situation &s)
{
    layOut(s, 3, 3, true);
    auto w = start();
    QVERIFY(w);
    s.messages.clear();
    QTest::mouseClick(w->editButton, Qt::LeftButton);
    w->lname->selectAll();
    QTest::keyClicks(w->lname, QStringLiteral("Changed"));
    // Notes far larger than the files may grow: their write fails with EFBIG.
    w->notes->selectAll();
    QTest::keyClicks(w->notes, QString(8192, u'n'));
    s.messages.queueAnswer(platform::MessageAnswer::Yes);
    {
        const FileSizeLimit limit(4096);
        QTest::mouseClick(w->editButton, Qt::LeftButton);
    }
    QCOMPARE(titles(s.messages),
             (QStringList{QStringLiteral("Save Record?"), QStringLiteral("File Problem!")}));
    const QString said = s.messages.shown().last().text;
    QVERIFY2(said.contains(u"File too large"), qPrintable(said));
    QVERIFY2(said.contains(u"have not been saved"), qPrintable(said));
    // The box said nothing was saved: the record and its notes read back as before.
    QCOMPARE(s.drive.readFile(paths::DataFile).left(Length), LoadedWindow::recordBytes(1));
    QCOMPARE(s.drive.readFile(notes::pathFor(1)), notesOf(1));
    // Answering No drops the edit; browsing away and back shows what is stored.
    s.messages.queueAnswer(platform::MessageAnswer::No);
    QTest::mouseClick(w->editButton, Qt::LeftButton);
    w->ScrollBar->setValue(2);
    w->ScrollBar->setValue(1);
    QCOMPARE(w->lname->text(), QStringLiteral("Last1").leftJustified(20));
    QCOMPARE(w->notes->toPlainText(), QString::fromLatin1(notesOf(1).chopped(2)));
    QVERIFY(s.messages.unexpected().isEmpty());
}

// A small tmpfs mounted on the drive root's "Program Files": a disk that fills up.
// At the end its content is copied back in place of the mount, so the catalogue
// checks what the disk holds.
class SmallDisk
{
public:
    explicit SmallDisk(const TempDrive &drive)
        : m_mountPoint(drive.root() + QStringLiteral("/Program Files"))
    {
        QDir().mkpath(m_mountPoint);
        const QByteArray point = QFile::encodeName(m_mountPoint);
        if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            m_skip = QStringLiteral("cannot mount a tmpfs here: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~SmallDisk()
    {
        if (!m_skip.isEmpty())
            return;
        const QString copy = m_copy.filePath(QStringLiteral("content"));
        QProcess::execute(QStringLiteral("cp"),
                          {QStringLiteral("-a"), m_mountPoint + QStringLiteral("/."), copy});
        if (::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH) == 0 &&
            QDir().rmdir(m_mountPoint))
            QDir().rename(copy, m_mountPoint);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    QString skipReason() const { return m_skip; }

    // Fills the disk with one file up to its last `pages` pages (tmpfs gives a file
    // its room a page at a time); freeing the file gives the room back.
    void fill(int pages)
    {
        constexpr qint64 Page = 4096;
        {
            QFile filler(fillerPath());
            if (!filler.open(QIODevice::WriteOnly))
                return;
            const QByteArray block(Page, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        const qint64 used = (QFileInfo(fillerPath()).size() + Page - 1) / Page;
        QFile::resize(fillerPath(), std::max<qint64>(used - pages, 0) * Page);
    }
    void free() { QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return m_mountPoint + QStringLiteral("/filler"); }
    QString m_mountPoint;
    QTemporaryDir m_copy;
    QString m_skip;
};

void sequentialSaveOnFullDiskStoredOnce(Situation &s)
{
    SmallDisk disk(s.drive);
    if (!disk.skipReason().isEmpty()) {
        s.skipReason = disk.skipReason();
        return;
    }
    // A card file in the sequential form: twelve lines per contact, appended.
    QByteArray data;
    for (int i = 1; i <= 3; ++i) {
        ContactRecord r;
        r.setFromRandomBytes(LoadedWindow::recordBytes(i));
        data += r.toSequentialLines().join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    }
    QByteArray index = LoadedWindow::indexBytes(3);
    index.replace("File_Type=R", "File_Type=S");
    s.drive.writeFile(paths::IndexFile, index);
    s.drive.writeFile(paths::DataFile, data);
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);
    // Whole records only lie within the old lines (see Situation::keep).
    s.keep(1);
    s.keep(2);

    auto w = start();
    QVERIFY(w);
    typeNewContact(*w, QStringLiteral("Fourth"), QString());
    s.messages.clear();
    // The disk fills up while the contact is typed. The page left takes the save's
    // marker and the record fits in the data file's last page: the save runs out of
    // room at the index file, after the record is appended.
    disk.fill(1);
    QTest::mouseClick(w->exitButton, Qt::LeftButton);
    QCOMPARE(titles(s.messages), QStringList{QStringLiteral("File Problem!")});
    QVERIFY2(s.messages.shown().last().text.contains(u"has not been saved"),
             qPrintable(s.messages.shown().last().text));
    // The box said nothing was saved, and nothing was.
    QCOMPARE(s.drive.readFile(paths::DataFile), data);
    QCOMPARE(s.drive.readFile(paths::IndexFile), index);

    // Room made, Save New Record again: the contact is stored once.
    disk.free();
    s.messages.clear();
    QTest::mouseClick(w->exitButton, Qt::LeftButton);
    QVERIFY2(!titles(s.messages).contains(u"File Problem!"),
             qPrintable(titles(s.messages).join(u'|')));
    const QByteArray after = s.drive.readFile(paths::DataFile);
    QVERIFY(after.startsWith(data));
    QCOMPARE(after.mid(data.size()).count("Fourth"), 1);
    QCOMPARE(after.count("\r\n"), 4 * ContactRecord::SequentialLineCount);
    QVERIFY(s.drive.readFile(paths::IndexFile).contains("Num_Of_Records=4\r\n"));
}

// What the repair plan foretells the next start changes, step by step.
QStringList startChanges()
{
    QStringList steps;
    for (const repairplan::Step &step :
         repairplan::plan(repairplan::observeFolder()).visibleSteps())
        steps.append(repairplan::describe(step));
    return steps;
}

// Runs cardomine-tool on the situation's drive (its environment names the drive).
int runTool(const QStringList &arguments, QByteArray *err = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral(CARDOMINE_TOOL_PATH), arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    if (err)
        *err = tool.readAllStandardError();
    return tool.exitCode();
}

void plainCopyThenAdopt(Situation &s)
{
    // An old data folder from another machine, copied in with a plain `cp -r`: the
    // copy keeps the bytes and drops the seal.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString old = elsewhere.path() + QStringLiteral("/Pelvarin");
    QVERIFY(QDir().mkpath(old + QStringLiteral("/Contact Notes")));
    QByteArray data;
    for (int i = 1; i <= 5; ++i) {
        data += LoadedWindow::recordBytes(i);
        QFile notes(old + QStringLiteral("/Contact Notes/%1.txt").arg(i));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write(notesOf(i)) > 0);
        s.keep(i, LoadedWindow::recordBytes(i), notesOf(i));
    }
    for (const auto &[name, bytes] :
         {std::pair{QStringLiteral("Cardomine.Dat"), data},
          std::pair{QStringLiteral("Index.tbl"), LoadedWindow::indexBytes(5)}}) {
        QFile file(old + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    const QString programFiles = s.drive.native(QStringLiteral("c:\\Program Files"));
    QVERIFY(QDir().mkpath(programFiles));
    QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), old, programFiles}), 0);

    QByteArray err;
    QCOMPARE(runTool({QStringLiteral("adopt")}, &err), 0);
    QVERIFY2(err.isEmpty(), err.constData());
    // The repair plan, and the check that prints it, now foretell a start that
    // changes nothing.
    platform::forgetNames();
    QCOMPARE(startChanges(), QStringList());
    QCOMPARE(runTool({QStringLiteral("check")}), 0);

    auto w = start();
    QVERIFY(w);
    QCOMPARE(titles(s.messages), (QStringList{about::creditsTitle(), about::donationsTitle()}));
    QCOMPARE(w->ScrollBar->maximum(), 5);
    QCOMPARE(s.drive.readFile(paths::DataFile), data);
    w->ScrollBar->setValue(4);
    QCOMPARE(w->fname->text(), QStringLiteral("First4    "));
    QCOMPARE(w->notes->toPlainText(), QString::fromLatin1(notesOf(4).chopped(2)));
    QVERIFY(s.messages.unexpected().isEmpty());
}

} // namespace

QList<RealWorldCase> storeSituations()
{
    return {
        {"01 repair of a copied-in folder, then new contacts 2 and 3",
         copiedFolderRepairKeepsOldNotes},
        {"02 index deleted after two saves, then Create New", lostIndexKeepsSavedContacts},
        {"02 sealed count of 0, then Create New", sealedCountOfZeroKeepsRecords},
        {"09 save cut short by ulimit -f in a child, then a start", cutShortWritesUnderSizeLimit},
        {"10 notes write fails on a file size limit, then browse away and back",
         failedNotesWriteSaysWhatWasStored},
        {"14 sequential Save New Record on a full disk, then again with room",
         sequentialSaveOnFullDiskStoredOnce},
        {"11 old folder copied in with cp -r, then cardomine-tool adopt, then a start",
         plainCopyThenAdopt},
    };
}

} // namespace cardomine::testing
