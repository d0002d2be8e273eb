// SPDX-License-Identifier: GPL-3.0-or-later
// Seals that meet copies, touches and file systems without write bits: a faithful
// copy keeps every contact in view, a changed file is still repaired, and a USB stick
// formatted for Windows (exFAT, NTFS) starts like any other disk.

#include "datastore/contactrecord.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "mainwindow/about.h"
#include "mainwindow/frmwork.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"
#include "tests/reliability/realworld.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace cardomine::testing {

namespace {

const QString IndexCreated = QStringLiteral("File Creation Notice!");
const QString IndexCorrupted = QStringLiteral("File Corruption Notice!");
const QString DoNotAlterIndex = QStringLiteral("Be Careful!");
const QString DataFileCreated = QStringLiteral("File Update Completed!");
const QString DataFileRebuild = QStringLiteral("File Update Will Occur Now. . .");

// Runs a program; its exit code, or -1 when it cannot be run.
int run(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(60000))
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// A card file of three contacts (notes for 1 and 3) in the current drive root, sealed
// as the program leaves it.
void writeCardFile(const TempDrive &drive)
{
    QByteArray data;
    for (int id = 1; id <= 3; ++id) {
        data += LoadedWindow::recordBytes(id);
        if (id % 2 == 1)
            drive.writeFile(notes::pathFor(id), "Notes of " + QByteArray::number(id) + "\r\n");
    }
    drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(3));
    drive.writeFile(paths::DataFile, data);
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);
}

void keepCardFile(Situation &s)
{
    for (int id = 1; id <= 3; ++id)
        s.keep(id, LoadedWindow::recordBytes(id),
               id % 2 == 1
                   ? std::optional<QByteArray>("Notes of " + QByteArray::number(id) + "\r\n")
                   : std::nullopt);
}

// One start of the program on the current drive root, as the user sees it.
struct Start
{
    startup::LoadResult result = startup::LoadResult::Exit;
    QStringList boxes; // titles of the boxes after the two About boxes
    QString lastText;  // the text of the last box, to tell what went wrong
    QString firstName;
    int count = 0;
};

Start startProgram(Situation &s, const std::function<void(FrmWork &)> &use = {},
                   const std::function<void()> &onBox = {})
{
    s.messages.clear();
    // A repair that never ends shows box after box: stop it well past any real one.
    s.messages.onShow = [&s, onBox](const platform::MessageBox &) {
        if (onBox)
            onBox();
        if (s.messages.shown().size() == 41)
            throw platform::FileError(QStringLiteral("start"), paths::DataFolder, EDEADLK,
                                      QStringLiteral("too many boxes"));
    };
    Start start;
    {
        FrmWork window;
        start.result = startup::loadMainWindow(window);
        s.messages.onShow = nullptr;
        start.firstName = window.fname->text().trimmed();
        start.count = window.ScrollBar->maximum();
        for (const platform::MessageBox &box : s.messages.shown()) {
            if (box.title != about::creditsTitle() && box.title != about::donationsTitle())
                start.boxes.append(box.title);
            start.lastText = box.text;
        }
        if (start.result == startup::LoadResult::Ready && use)
            use(window);
    }
    // As the program's end does: the marker browsing keeps open goes.
    pendingwork::removeSpent();
    return start;
}

bool hasRecovered(const Situation &s)
{
    return QDir(s.drive.native(paths::RecoveredFolder)).exists();
}

// Builds the card file on another disk (a drive root of its own), then copies its
// data folder into the situation's drive root with a real command ("cp", "-a").
void copyFromOtherDisk(Situation &s, QStringList command)
{
    const QString to = s.drive.root() + QStringLiteral("/Program Files");
    {
        TempDrive other; // points the program at the other disk for its lifetime
        QVERIFY(other.isValid());
        writeCardFile(other);
        QDir().mkpath(to);
        const QString program = command.takeFirst();
        QCOMPARE(run(program, command << other.native(paths::DataFolder) << to), 0);
    }
    keepCardFile(s);
}

void touchAll(const Situation &s, const QStringList &files)
{
    for (const QString &file : files)
        QCOMPARE(run(QStringLiteral("touch"),
                     {QStringLiteral("-d"), QStringLiteral("2001-02-03 04:05:06"),
                      s.drive.native(file)}),
                 0);
}

// A normal start on a card file of three: no box, record 1, three records, nothing
// set aside.
void verifyNormalStart(Situation &s)
{
    const Start start = startProgram(s);
    QCOMPARE(start.result, startup::LoadResult::Ready);
    QCOMPARE(start.boxes, QStringList());
    QCOMPARE(start.firstName, QStringLiteral("First1"));
    QCOMPARE(start.count, 3);
    QVERIFY(!hasRecovered(s));
}

// A file system image mounted with FUSE under the drive root's "Program Files", as a
// USB stick formatted for Windows. At the end its content is copied back in place of
// the mount, so the catalogue checks what the stick holds.
class FuseStick
{
public:
    enum Kind
    {
        ExFat,
        Ntfs
    };

    FuseStick(const TempDrive &drive, Kind kind)
        : m_kind(kind)
        , m_mountPoint(drive.root() + QStringLiteral("/Program Files"))
    {
        if (::geteuid() != 0) {
            m_skip = QStringLiteral("mounting a file system image needs root (losetup)");
            return;
        }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            m_skip = QStringLiteral("/dev/fuse is not available");
            return;
        }
        const QString mkfs =
            kind == ExFat ? QStringLiteral("mkfs.exfat") : QStringLiteral("mkntfs");
        const QString mounter =
            kind == ExFat ? QStringLiteral("mount.exfat-fuse") : QStringLiteral("ntfs-3g");
        for (const QString &tool : {mkfs, mounter, QStringLiteral("losetup")}) {
            if (findTool(tool).isEmpty()) {
                m_skip = tool + QStringLiteral(" is not installed (scripts/install-packages.sh)");
                return;
            }
        }
        const QString image = m_images.filePath(QStringLiteral("stick.img"));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(32 * 1024 * 1024)) {
            m_skip = QStringLiteral("cannot make the image file");
            return;
        }
        file.close();
        QString output;
        const int made =
            kind == ExFat
                ? run(findTool(mkfs), {image}, &output)
                : run(findTool(mkfs),
                      {QStringLiteral("-F"), QStringLiteral("-q"), QStringLiteral("-f"), image},
                      &output);
        if (made != 0) {
            m_skip = mkfs + QStringLiteral(" failed: ") + output;
            return;
        }
        // Both drivers take a block device when run as root: the image goes on a loop
        // device.
        if (run(findTool(QStringLiteral("losetup")),
                {QStringLiteral("-f"), QStringLiteral("--show"), image}, &m_loop) != 0) {
            m_skip = QStringLiteral("no loop device: ") + m_loop;
            m_loop.clear();
            return;
        }
        QDir().mkpath(m_mountPoint);
        mount();
    }

    ~FuseStick()
    {
        if (m_mounted) {
            const QString copy = m_images.filePath(QStringLiteral("content"));
            QDir().mkpath(copy);
            run(QStringLiteral("cp"),
                {QStringLiteral("-r"), m_mountPoint + QStringLiteral("/."), copy});
            unmount();
            if (!m_mounted && QDir().rmdir(m_mountPoint))
                QDir().rename(copy, m_mountPoint);
        }
        if (!m_loop.isEmpty())
            run(findTool(QStringLiteral("losetup")), {QStringLiteral("-d"), m_loop});
    }

    // Why the stick cannot be had on this machine; empty when it is mounted.
    QString skipReason() const { return m_mounted ? QString() : m_skip; }

    // The stick pulled out and put in again.
    bool replug()
    {
        unmount();
        if (!m_mounted)
            mount();
        return m_mounted;
    }

private:
    static QString findTool(const QString &name)
    {
        return QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/sbin"),
                   QStringLiteral("/bin")});
    }

    void mount()
    {
        QString output;
        const QString mounter =
            m_kind == ExFat ? QStringLiteral("mount.exfat-fuse") : QStringLiteral("ntfs-3g");
        if (run(findTool(mounter), {m_loop, m_mountPoint}, &output) == 0)
            m_mounted = true;
        else
            m_skip = mounter + QStringLiteral(" cannot mount here: ") + output;
    }

    void unmount()
    {
        // A block-device FUSE mount is written out before umount returns.
        if (run(QStringLiteral("umount"), {m_mountPoint}) == 0)
            m_mounted = false;
    }

    Kind m_kind;
    QString m_mountPoint;
    QTemporaryDir m_images;
    QString m_loop;
    QString m_skip;
    bool m_mounted = false;
};

// On the stick: the card file copied over from an ordinary disk (its seals cannot
// come along: these file systems hold no permission bits and exFAT no extended
// attributes), then two starts with the stick put in again between them, and a new
// contact saved in the first.
void playStick(Situation &s, FuseStick::Kind kind)
{
    FuseStick stick(s.drive, kind);
    if (!stick.skipReason().isEmpty()) {
        s.skipReason = stick.skipReason();
        return;
    }
    copyFromOtherDisk(s, {QStringLiteral("cp"), QStringLiteral("-r")});
    if (QTest::currentTestFailed())
        return;

    // The copy lost its seals: the repair sets the files aside once, with its boxes.
    const Start first = startProgram(s, [](FrmWork &w) {
        QTest::mouseClick(w.createButton, Qt::LeftButton);
        QTest::keyClicks(w.fname, QStringLiteral("Stick"));
        QTest::keyClicks(w.lname, QStringLiteral("Saved"));
        QTest::keyClicks(w.company, QStringLiteral("Usb"));
        QTest::keyClicks(w.homephone, QStringLiteral("555.0100"));
        QTest::mouseClick(w.exitButton, Qt::LeftButton);
    });
    QCOMPARE(first.result, startup::LoadResult::Ready);
    QVERIFY2(first.boxes ==
                 QStringList({IndexCorrupted, DoNotAlterIndex, IndexCreated, DataFileRebuild,
                              IndexCorrupted, DoNotAlterIndex, IndexCreated, DataFileCreated}),
             qPrintable(first.boxes.join(u", ") + u" / " + first.lastText));
    QVERIFY(hasRecovered(s));
    const QByteArray saved = s.drive.readFile(paths::DataFile).mid(249, 249);
    QVERIFY2(saved.startsWith("Stick"), saved.constData());

    QVERIFY(stick.replug());
    const Start second = startProgram(s);
    QCOMPARE(second.result, startup::LoadResult::Ready);
    QCOMPARE(second.boxes, QStringList());
    QCOMPARE(second.count, 2);
    s.keep(2);
    if (kind == FuseStick::Ntfs) {
        // NTFS's own attributes say the same, for Windows to see.
        for (const auto &[file, bits] : {std::pair{paths::DataFile, 7}, {paths::IndexFile, 5}}) {
            unsigned char value[4] = {};
            QCOMPARE(::getxattr(QFile::encodeName(s.drive.native(file)).constData(),
                                "system.ntfs_attrib_be", value, sizeof value),
                     ssize_t(sizeof value));
            QCOMPARE(qFromBigEndian<quint32>(value), quint32(bits));
        }
        // Read-only taken away on Windows breaks the seal, as it does there.
        const QByteArray index = QFile::encodeName(s.drive.native(paths::IndexFile));
        const unsigned char system[4] = {0, 0, 0, 4};
        QCOMPARE(::setxattr(index.constData(), "system.ntfs_attrib_be", system, 4, 0), 0);
        QCOMPARE(platform::files::attributes(paths::IndexFile), 4);
    }
}

// The card file as the Windows program leaves it when it runs under Wine, or keeps
// its data on a Samba share: plain files (no seal record of ours), the write bits
// taken away for read-only, and hidden and system in user.DOSATTRIB, as Wine writes
// them ("0x6", "0x4") or as Samba does (its hex text, a NUL and a binary blob, the
// read-only bit in the number too).
void sealAsWindowsDid(Situation &s, const QByteArray &data, const QByteArray &index)
{
    QByteArray records;
    for (int id = 1; id <= 3; ++id) {
        records += LoadedWindow::recordBytes(id);
        if (id % 2 == 1)
            s.drive.writeFile(notes::pathFor(id), "Notes of " + QByteArray::number(id) + "\r\n");
    }
    s.drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(3));
    s.drive.writeFile(paths::DataFile, records);
    for (const auto &[file, value] :
         {std::pair{paths::DataFile, data}, {paths::IndexFile, index}}) {
        const QByteArray native = QFile::encodeName(s.drive.native(file));
        QCOMPARE(::setxattr(native.constData(), "user.DOSATTRIB", value.constData(),
                            size_t(value.size()), 0),
                 0);
        QCOMPARE(::chmod(native.constData(), 0444), 0);
        QCOMPARE(::getxattr(native.constData(), "user.cardomine.seal", nullptr, 0), ssize_t(-1));
    }
    keepCardFile(s);
    verifyNormalStart(s);
    // Browsing seals them the program's own way; the next start is as normal.
    verifyNormalStart(s);
}

} // namespace

QList<RealWorldCase> sealSituations()
{
    return {
        {"04 data folder copied with cp -a to a new disk",
         [](Situation &s) {
             copyFromOtherDisk(s, {QStringLiteral("cp"), QStringLiteral("-a")});
             verifyNormalStart(s);
         }},
        {"04 data folder copied with rsync -aX to a new disk",
         [](Situation &s) {
             if (QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty()) {
                 s.skipReason =
                     QStringLiteral("rsync is not installed (scripts/install-packages.sh)");
                 return;
             }
             copyFromOtherDisk(s, {QStringLiteral("rsync"), QStringLiteral("-aX")});
             verifyNormalStart(s);
         }},
        {"04 every file of the data folder touched",
         [](Situation &s) {
             writeCardFile(s.drive);
             keepCardFile(s);
             touchAll(s, {paths::DataFile, paths::IndexFile, notes::pathFor(1), notes::pathFor(3)});
             verifyNormalStart(s);
         }},
        {"04 a changed byte in a record is still repaired, a touched index is not",
         [](Situation &s) {
             writeCardFile(s.drive);
             // Another program changes one byte of record 2, in place, and so the time.
             const QByteArray data = s.drive.native(paths::DataFile).toLocal8Bit();
             QCOMPARE(::chmod(data.constData(), 0600), 0);
             {
                 QFile file(QString::fromLocal8Bit(data));
                 QVERIFY(file.open(QIODevice::ReadWrite));
                 QVERIFY(file.seek(249 + 12));
                 QCOMPARE(file.write("X"), qint64(1));
             }
             QCOMPARE(::chmod(data.constData(), 0400), 0);
             for (int id = 1; id <= 3; ++id)
                 s.keep(id); // as changed: that is what the user has now
             touchAll(s, {paths::DataFile, paths::IndexFile});
             const Start start = startProgram(s);
             QCOMPARE(start.result, startup::LoadResult::Ready);
             QCOMPARE(start.boxes, QStringList({DataFileRebuild, IndexCorrupted, DoNotAlterIndex,
                                                IndexCreated, DataFileCreated}));
             QCOMPARE(start.firstName, QStringLiteral("Tobin"));
             QVERIFY(hasRecovered(s));
         }},
        {"05 a seal that never holds stops the repair after five rounds",
         [](Situation &s) {
             writeCardFile(s.drive);
             keepCardFile(s);
             // Something takes the write bits back at once, whatever the program sets:
             // the seals never hold.
             const auto unseal = [&s] {
                 for (const QString &file : {paths::DataFile, paths::IndexFile}) {
                     const QByteArray native = QFile::encodeName(s.drive.native(file));
                     ::chmod(native.constData(), 0644);
                 }
             };
             unseal();
             const Start start = startProgram(s, {}, unseal);
             QCOMPARE(start.result, startup::LoadResult::Exit);
             QVERIFY2(start.boxes.size() < 30, qPrintable(start.boxes.join(u", ")));
             QCOMPARE(start.boxes.constLast(), QStringLiteral("Cardomine Cannot Start"));
             QVERIFY2(start.lastText.contains(QStringLiteral("do not keep the attributes")),
                      qPrintable(start.lastText));
             QCOMPARE(start.boxes.count(QStringLiteral("Cardomine Cannot Start")), 1);
         }},
        {"05 exFAT stick (exfat-fuse): one repair, then a normal start",
         [](Situation &s) { playStick(s, FuseStick::ExFat); }},
        {"05 NTFS stick (ntfs-3g): one repair, then a normal start",
         [](Situation &s) { playStick(s, FuseStick::Ntfs); }},
        {"14 card file sealed by the Windows program under Wine starts without repair",
         [](Situation &s) { sealAsWindowsDid(s, "0x6", "0x4"); }},
        {"14 card file sealed over a Samba share starts without repair",
         [](Situation &s) {
             const QByteArray blob("\0\4\0\4\0\0\0\x11\0\0\0", 11);
             sealAsWindowsDid(s, "0x7" + blob, "0x5" + blob);
         }},
    };
}

} // namespace cardomine::testing
