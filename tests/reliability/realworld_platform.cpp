// SPDX-License-Identifier: GPL-3.0-or-later
// Locks, names, links and special files: the data folder as other programs, other
// disks and other hosts leave it.

#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/about.h"
#include "mainwindow/frmwork.h"
#include "platform/files.h"
#include "platform/instancelock.h"
#include "startup/programstart.h"
#include "tests/reliability/realworld.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cardomine::testing {

namespace {

// A sealed card file of `records` contacts, made the way LoadedWindow makes it, each
// contact kept for the check after the situation.
void makeCardFile(Situation &s, int records)
{
    QByteArray data;
    for (int i = 1; i <= records; ++i) {
        data += LoadedWindow::recordBytes(i);
        if (i % 2 == 1)
            s.drive.writeFile(notes::pathFor(i),
                              QStringLiteral("Notes of %1\r\n").arg(i).toLatin1());
    }
    s.drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(records));
    s.drive.writeFile(paths::DataFile, data);
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);
    for (int i = 1; i <= records; ++i)
        s.keep(i);
}

// The program's start as main() runs it, after the lock.
std::unique_ptr<Program> startProgram()
{
    auto program = std::make_unique<Program>();
    if (!program->start())
        program.reset();
    return program;
}

QStringList titles(const Situation &s)
{
    QStringList list;
    for (const platform::MessageBox &box : s.messages.shown())
        list.append(box.title);
    return list;
}

const QStringList AboutTitles = {about::creditsTitle(), about::donationsTitle()};

// Points the program at another drive root for the guard's lifetime.
class OtherDrive
{
public:
    explicit OtherDrive(const QString &root)
        : m_previous(qgetenv("CARDOMINE_DRIVE_C"))
    {
        qputenv("CARDOMINE_DRIVE_C", QFile::encodeName(root));
    }
    ~OtherDrive() { qputenv("CARDOMINE_DRIVE_C", m_previous); }
    OtherDrive(const OtherDrive &) = delete;
    OtherDrive &operator=(const OtherDrive &) = delete;

private:
    QByteArray m_previous;
};

void secondCopyThroughLinks(Situation &s)
{
    makeCardFile(s, 3);
    const auto first = startup::claimDataFolder();
    QVERIFY(first);

    // The drive root reached through a link, and the data folder itself reached
    // through a link from another drive.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString rootLink = elsewhere.path() + QStringLiteral("/drive_c");
    QVERIFY(QFile::link(s.drive.root(), rootLink));
    const QString otherRoot = elsewhere.path() + QStringLiteral("/other");
    QVERIFY(QDir().mkpath(otherRoot + QStringLiteral("/Program Files")));
    QVERIFY(QFile::link(s.drive.native(paths::DataFolder),
                        otherRoot + QStringLiteral("/Program Files/Pelvarin")));

    for (const QString &root : {rootLink, otherRoot}) {
        s.messages.clear();
        OtherDrive other(root);
        const auto second = startup::claimDataFolder();
        QVERIFY2(!second, qPrintable(root));
        QCOMPARE(titles(s), QStringList{QStringLiteral("Cardomine Is Already Running")});
        QVERIFY(s.messages.shown().at(0).text.contains(QStringLiteral("already running")));
    }
}

void staleLockFromAnotherHost(Situation &s)
{
    makeCardFile(s, 2);
    // What QLockFile left beside the data folder on a host the drive was synced from.
    s.drive.writeFile(QStringLiteral("c:\\Program Files\\Pelvarin.lock"),
                      "4242\nCardomine\nlaptop-at-home\n0b5e1c2f-2f5e-4d7a-9d1e-6a7d2c3b4e5f\n");
    const auto lock = startup::claimDataFolder();
    QVERIFY2(lock, qPrintable(titles(s).join(u", ")));
    QVERIFY(s.messages.shown().isEmpty());
    const auto program = startProgram();
    QVERIFY(program);
    QCOMPARE(titles(s), AboutTitles);
    QCOMPARE(program->frmWork().ScrollBar->maximum(), 2);
}

// The folder above the data folder mounted read-only onto itself; unmounted again when
// the guard ends, leaving the files as they were.
class ReadOnlyBind
{
public:
    explicit ReadOnlyBind(const QString &folder)
        : m_path(QFile::encodeName(folder))
    {
        if (::mount(m_path.constData(), m_path.constData(), nullptr, MS_BIND, nullptr) != 0) {
            m_error = errno;
            return;
        }
        m_mounted = true;
        if (::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                    nullptr) != 0)
            m_error = errno;
    }
    ~ReadOnlyBind()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    ReadOnlyBind(const ReadOnlyBind &) = delete;
    ReadOnlyBind &operator=(const ReadOnlyBind &) = delete;

    int error() const { return m_error; }

private:
    QByteArray m_path;
    bool m_mounted = false;
    int m_error = 0;
};

void readOnlyFileSystem(Situation &s)
{
    makeCardFile(s, 2);
    ReadOnlyBind readOnly(s.drive.native(QStringLiteral("c:\\Program Files")));
    if (readOnly.error() != 0) {
        s.skipReason = QStringLiteral("cannot mount read-only here: %1")
                           .arg(QString::fromLocal8Bit(strerror(readOnly.error())));
        return;
    }
    const auto lock = startup::claimDataFolder();
    QVERIFY(!lock);
    QCOMPARE(s.messages.shown().size(), 1);
    const platform::MessageBox &box = s.messages.shown().at(0);
    QVERIFY2(!box.title.contains(QStringLiteral("Running")), qPrintable(box.title));
    QVERIFY2(box.text.contains(QStringLiteral("Read-only file system")), qPrintable(box.text));
    QVERIFY2(box.text.contains(s.drive.native(paths::DataFolder)), qPrintable(box.text));
    QVERIFY2(box.text.contains(QStringLiteral("cardomine-tool export")), qPrintable(box.text));
    QVERIFY(!box.text.contains(QStringLiteral("cannot be written.")));
}

// Another disk's folder mounted at a folder of the drive; on unmounting, what was
// written there is moved back into the folder, for the check after the situation.
class OtherDiskAt
{
public:
    OtherDiskAt(const QString &disk, const QString &folder)
        : m_disk(disk)
        , m_folder(folder)
    {
        QDir().mkpath(disk);
        QDir().mkpath(folder);
        if (::mount(QFile::encodeName(disk).constData(), QFile::encodeName(folder).constData(),
                    nullptr, MS_BIND, nullptr) != 0)
            m_error = errno;
    }
    ~OtherDiskAt()
    {
        if (m_error != 0 || ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH) != 0)
            return;
        for (const QString &name : QDir(m_disk).entryList(QDir::Files | QDir::Hidden))
            QFile::rename(m_disk + u'/' + name, m_folder + u'/' + name);
    }
    OtherDiskAt(const OtherDiskAt &) = delete;
    OtherDiskAt &operator=(const OtherDiskAt &) = delete;

    int error() const { return m_error; }

private:
    QString m_disk;
    QString m_folder;
    int m_error = 0;
};

void recoveredOnAnotherDisk(Situation &s)
{
    makeCardFile(s, 3);
    // The data file loses its read-only bit, so the start sets it aside.
    QVERIFY(QFile::setPermissions(s.drive.native(paths::DataFile),
                                  QFile::ReadOwner | QFile::WriteOwner));
    OtherDiskAt disk(s.drive.root() + QStringLiteral("/Other disk"),
                     s.drive.native(paths::RecoveredFolder));
    if (disk.error() != 0) {
        s.skipReason = QStringLiteral("cannot bind-mount a folder here: %1")
                           .arg(QString::fromLocal8Bit(strerror(disk.error())));
        return;
    }
    const auto lock = startup::claimDataFolder();
    QVERIFY(lock);
    const auto program = startProgram();
    QVERIFY2(program,
             qPrintable(titles(s).join(u", ") + u": " +
                        (titles(s).isEmpty() ? QString() : s.messages.shown().last().text)));
    QCOMPARE(program->frmWork().fname->text().trimmed(), QStringLiteral("Tobin"));
    const QStringList kept =
        QDir(s.drive.native(paths::RecoveredFolder)).entryList(QDir::Files | QDir::Hidden);
    const QString names = u' ' + kept.join(u' ');
    for (const char *prefix : {" 1.txt.", " 3.txt.", " Cardomine.Dat.", " Index.tbl."})
        QVERIFY2(names.contains(QLatin1String(prefix)), qPrintable(names));
}

void upperCaseCopiedFolder(Situation &s)
{
    makeCardFile(s, 3);
    // Renamed as an old disk names them; a rename keeps each file's seal.
    const QString root = s.drive.root();
    const auto rename = [](const QString &from, const QString &to) {
        return QFile::rename(from, to);
    };
    const QString folder = root + QStringLiteral("/Program Files/Pelvarin");
    QVERIFY(rename(folder + QStringLiteral("/Contact Notes/1.txt"),
                   folder + QStringLiteral("/Contact Notes/1.TXT")));
    QVERIFY(rename(folder + QStringLiteral("/Contact Notes/3.txt"),
                   folder + QStringLiteral("/Contact Notes/3.TXT")));
    QVERIFY(rename(folder + QStringLiteral("/Contact Notes"),
                   folder + QStringLiteral("/CONTACT NOTES")));
    QVERIFY(rename(folder + QStringLiteral("/Cardomine.Dat"),
                   folder + QStringLiteral("/CARDOMINE.DAT")));
    QVERIFY(rename(folder + QStringLiteral("/Index.tbl"), folder + QStringLiteral("/INDEX.TBL")));
    QVERIFY(rename(folder, root + QStringLiteral("/Program Files/PELVARIN")));

    const auto lock = startup::claimDataFolder();
    QVERIFY(lock);
    const auto program = startProgram();
    QVERIFY(program);
    QCOMPARE(titles(s), AboutTitles);
    FrmWork &w = program->frmWork();
    QCOMPARE(w.ScrollBar->maximum(), 3);
    QCOMPARE(w.fname->text().trimmed(), QStringLiteral("First1"));
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Notes of 1"));
    w.ScrollBar->setValue(3);
    QCOMPARE(w.fname->text().trimmed(), QStringLiteral("First3"));
    QCOMPARE(w.notes->toPlainText(), QStringLiteral("Notes of 3"));
    QCOMPARE(titles(s), AboutTitles);
    // No second set of files in the spelling the program uses.
    QVERIFY(!QFile::exists(root + QStringLiteral("/Program Files/Pelvarin")));
}

void notesFolderIsALink(Situation &s)
{
    makeCardFile(s, 3);
    // Outside the data folder, on the same drive so that it outlives the situation.
    const QDir outside(s.drive.root() + QStringLiteral("/Synced notes"));
    QVERIFY(QDir().mkpath(outside.path()));
    const QString notesFolder = s.drive.native(paths::NotesFolder);
    for (const QString &name : QDir(notesFolder).entryList(QDir::Files))
        QVERIFY(QFile::rename(notesFolder + u'/' + name, outside.path() + u'/' + name));
    QVERIFY(QDir().rmdir(notesFolder));
    QVERIFY(QFile::link(outside.path(), notesFolder));
    const QStringList outsideBefore = QDir(outside.path()).entryList(QDir::Files | QDir::Hidden);

    const auto lock = startup::claimDataFolder();
    QVERIFY(lock);
    const auto program = startProgram();
    QVERIFY(program);
    FrmWork &w = program->frmWork();
    s.messages.clear();

    w.createButton->click();
    for (QLineEdit *box : {w.fname, w.lname, w.company, w.address, w.city, w.statetext, w.zip,
                           w.homephone, w.workphone, w.pagermobile, w.fax})
        box->setText(QStringLiteral("New"));
    w.notes->setPlainText(QStringLiteral("Written where?"));
    w.exitButton->click();

    QCOMPARE(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden), outsideBefore);
    bool reported = false;
    for (const platform::MessageBox &box : s.messages.shown())
        reported = reported || (box.icon == platform::MessageIcon::Critical &&
                                box.text.contains(QStringLiteral("symbolic link")) &&
                                box.text.contains(QStringLiteral("Contact Notes")));
    QVERIFY2(reported, qPrintable(titles(s).join(u", ")));
}

void fifoAsDataFile(Situation &s)
{
    s.drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(1));
    platform::files::setAttributes(paths::IndexFile, 5);
    const QByteArray fifo = QFile::encodeName(s.drive.native(paths::DataFile));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);

    // A start stuck in open() is let go after a while by opening the other end, so
    // the row fails instead of hanging.
    std::atomic<bool> done = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!done) {
            const int fd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (fd >= 0)
                ::close(fd);
        }
    });
    QElapsedTimer timer;
    timer.start();
    const auto lock = startup::claimDataFolder();
    std::unique_ptr<Program> program;
    if (lock)
        program = startProgram();
    done = true;
    watchdog.join();

    QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!program);
    QCOMPARE(s.messages.shown().size(), AboutTitles.size() + 1);
    const platform::MessageBox &box = s.messages.shown().last();
    QCOMPARE(box.icon, platform::MessageIcon::Critical);
    QVERIFY2(box.text.contains(QStringLiteral("Cardomine.Dat")) &&
                 box.text.contains(QStringLiteral("not a regular file")),
             qPrintable(box.text));
}

} // namespace

QList<RealWorldCase> platformSituations()
{
    return {
        {"03 second copy through a link to the folder", secondCopyThroughLinks},
        {"07 stale lock from another host", staleLockFromAnotherHost},
        {"08 read-only file system", readOnlyFileSystem},
        {"11 upper-case copied folder", upperCaseCopiedFolder},
        {"12 notes folder is a link", notesFolderIsALink},
        {"13 FIFO as the data file", fifoAsDataFile},
        {"14 Recovered folder on another disk", recoveredOnAnotherDisk},
    };
}

} // namespace cardomine::testing
