// SPDX-License-Identifier: GPL-3.0-or-later
// Files a user or another program may leave in the data folder, each with what the
// program must make of it. Nothing crashes, every problem is a clear box, and no file
// outside the data folder is ever written.

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/about.h"
#include "platform/attributestore.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"
#include "tests/support/loadedwindow.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <map>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cardomine;
using namespace Qt::StringLiterals;
using testing::LoadedWindow;

namespace {

enum class Expect
{
    Starts,      // the window loads and an edit of record 1 saves
    Refused,     // the start ends with one clear box
};

// How a file of the data folder is kept from the program, which runs as an ordinary
// user.
enum class Access
{
    Unreadable,     // the user's own file, mode 000
    OthersPrivate,  // another user's, with the mode the program gives its own files
    OthersReadable, // another user's, readable by everyone
};

enum class Store
{
    ExtendedAttributes,
    Sidecar,
};

enum class Outcome
{
    Starts,            // the window loads, and shows record 2 when asked
    StartRefused,      // the start ends with one clear box
    NavigationRefused, // the window loads; record 2 is refused with one clear box
};

// Root runs the program as an ordinary user of no group; "another user" is nobody.
constexpr uid_t ProgramUser = 65533;
constexpr uid_t OtherUser = 65534;
// The child's exit status when it cannot become that user, or that user cannot reach
// the temporary folder.
constexpr int CannotDropRoot = 77;
constexpr int UnreachableDrive = 78;

// What the program, run in the child, showed.
struct Seen
{
    int loaded = -1;
    QList<platform::MessageBox> boxes; // every box, in order
    QStringList unexpected;
    qsizetype boxesAtStart = 0;
    QString notesAtStart;
    int recordShown = 0; // the scroll bar after asking for record 2
    QString firstName;
    QString notesShown;
    QString status;
    int loadedAgain = -1; // a second start after that
    QList<platform::MessageBox> boxesAgain;
};

void writeBoxes(QDataStream &out, const QList<platform::MessageBox> &boxes)
{
    out << qint64(boxes.size());
    for (const platform::MessageBox &box : boxes)
        out << box.title << box.text << int(box.icon) << int(box.buttons);
}

QList<platform::MessageBox> readBoxes(QDataStream &in)
{
    QList<platform::MessageBox> boxes;
    qint64 count = 0;
    in >> count;
    for (qint64 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        platform::MessageBox box;
        int icon = 0;
        int buttons = 0;
        in >> box.title >> box.text >> icon >> buttons;
        box.icon = platform::MessageIcon(icon);
        box.buttons = platform::MessageButtons(buttons);
        boxes.append(box);
    }
    return boxes;
}

QDataStream &operator<<(QDataStream &out, const Seen &seen)
{
    out << seen.loaded;
    writeBoxes(out, seen.boxes);
    out << seen.unexpected << qint64(seen.boxesAtStart) << seen.notesAtStart << seen.recordShown
        << seen.firstName << seen.notesShown << seen.status << seen.loadedAgain;
    writeBoxes(out, seen.boxesAgain);
    return out;
}

QDataStream &operator>>(QDataStream &in, Seen &seen)
{
    in >> seen.loaded;
    seen.boxes = readBoxes(in);
    qint64 atStart = 0;
    in >> seen.unexpected >> atStart >> seen.notesAtStart >> seen.recordShown >> seen.firstName >>
        seen.notesShown >> seen.status >> seen.loadedAgain;
    seen.boxesAtStart = atStart;
    seen.boxesAgain = readBoxes(in);
    return in;
}

// Starts the program over the drive; when it loaded, asks for record 2 and then
// starts it a second time.
Seen runProgram()
{
    Seen seen;
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped(messages);
    CurrentRecord = ContactRecord();
    IndexLines.clear();
    auto window = std::make_unique<FrmWork>();
    seen.loaded = int(startup::loadMainWindow(*window));
    seen.boxesAtStart = messages.shown().size();
    if (seen.loaded == int(startup::LoadResult::Ready)) {
        seen.notesAtStart = window->notesText();
        window->ScrollBar->setValue(2);
        seen.recordShown = window->ScrollBar->value();
        seen.firstName = window->fname->text();
        seen.notesShown = window->notesText();
        seen.status = window->statusText();
    }
    seen.boxes = messages.shown();
    seen.unexpected = messages.unexpected();
    if (seen.loaded == int(startup::LoadResult::Ready)) {
        window.reset();
        messages.clear();
        CurrentRecord = ContactRecord();
        IndexLines.clear();
        FrmWork again;
        seen.loadedAgain = int(startup::loadMainWindow(again));
        seen.boxesAgain = messages.shown();
        seen.unexpected += messages.unexpected();
    }
    return seen;
}

// Every file and folder under root with its mode and content, as root sees them.
std::map<QString, QString> snapshot(const QString &root)
{
    std::map<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info
        {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            continue;
        QString entry = QString::number(info.st_mode, 8);
        if (S_ISREG(info.st_mode)) {
            QFile f(path);
            entry += f.open(QIODevice::ReadOnly) ? u" " + QString::fromLatin1(f.readAll().toHex())
                                                 : u" unreadable"_s;
        }
        entries[path.mid(root.size())] = entry;
    }
    return entries;
}

bool giveTo(const QString &path, uid_t user)
{
    return ::lchown(QFile::encodeName(path).constData(), user, user) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Expect)
Q_DECLARE_METATYPE(Access)
Q_DECLARE_METATYPE(Store)
Q_DECLARE_METATYPE(Outcome)

class TestHostileFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { platform::attributestore::forceSidecar(false); }

    void catalogue_data();
    void catalogue();
    void unreadableOrOthersFiles_data();
    void unreadableOrOthersFiles();
};

void TestHostileFiles::catalogue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Expect>("expect");
    // Shown read-only in part; the save keeps the notes file as it is.
    QTest::newRow("huge notes file") << u"huge notes"_s << Expect::Starts;
    QTest::newRow("binary notes") << u"binary notes"_s << Expect::Starts;
    QTest::newRow("index with thousands of lines") << u"long index"_s << Expect::Starts;
    QTest::newRow("data file of odd length") << u"odd data"_s << Expect::Starts;
    QTest::newRow("data file is a folder") << u"data folder"_s << Expect::Refused;
    QTest::newRow("data file links outside") << u"data link"_s << Expect::Refused;
    QTest::newRow("notes file links outside") << u"notes link"_s << Expect::Starts;
}

void TestHostileFiles::catalogue()
{
    QFETCH(QString, kind);
    QFETCH(Expect, expect);

    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped(messages);
    CurrentRecord = ContactRecord();
    IndexLines.clear();

    QByteArray data;
    for (int i = 1; i <= 3; ++i)
        data += LoadedWindow::recordBytes(i);
    QByteArray index = LoadedWindow::indexBytes(3);
    drive.writeFile(notes::pathFor(1), "Notes of 1\r\n");
    // A file outside the data folder that nothing may write.
    const QString outside = drive.root() + u"/outside.txt";
    const QByteArray outsideBytes = "not the program's\r\n";
    {
        QFile f(outside);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(outsideBytes);
    }
    const QString notes1 = drive.native(notes::pathFor(1));
    const QString dataPath = drive.native(paths::DataFile);

    if (kind == u"long index") {
        index = "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=3\r\nFile_Type=R\r\n";
        for (int i = 0; i < 5000; ++i)
            index += "Extra line " + QByteArray::number(i) + ",with,items\r\n";
    } else if (kind == u"odd data") {
        data.chop(100);
    }
    drive.writeFile(paths::IndexFile, index);
    platform::files::setAttributes(paths::IndexFile, 5);
    if (kind == u"data folder") {
        QVERIFY(QDir().mkpath(dataPath));
    } else if (kind == u"data link") {
        QVERIFY(QFile::link(outside, dataPath));
    } else {
        drive.writeFile(paths::DataFile, data);
        platform::files::setAttributes(paths::DataFile, 7);
    }
    if (kind == u"huge notes") {
        QFile f(notes1);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(300LL * 1024 * 1024)); // sparse: fast, and far over any limit
    } else if (kind == u"binary notes") {
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char(i * 37 % 256);
        drive.writeFile(notes::pathFor(1), binary);
    } else if (kind == u"notes link") {
        QFile::remove(notes1);
        QVERIFY(QFile::link(outside, notes1));
    }
    const qint64 notesSize = QFileInfo(notes1).size();

    FrmWork window;
    const auto loaded = startup::loadMainWindow(window);
    QVERIFY2(messages.unexpected().isEmpty(), qPrintable(messages.unexpected().join(u'\n')));
    int critical = 0;
    for (const auto &box : messages.shown())
        critical += box.icon == platform::MessageIcon::Critical ? 1 : 0;

    if (expect == Expect::Refused) {
        // Either a clear refusal, or a repair that set the odd file aside.
        if (loaded == startup::LoadResult::Exit)
            QCOMPARE(critical, 1);
    } else {
        QCOMPARE(loaded, startup::LoadResult::Ready);
        QVERIFY(window.fname->text().startsWith(u"First1"));
        if (kind == u"huge notes") {
            QVERIFY(window.notes->toPlainText().size() <= notes::ReadLimit + 200);
            QVERIFY(window.notes->toPlainText().endsWith(u"will not change it.]"));
        }
        messages.clear();
        window.editButton->click();
        window.lname->setText(u"Changed"_s);
        messages.queueAnswer(platform::MessageAnswer::Yes);
        window.editButton->click();
        int boxes = 0;
        for (const auto &box : messages.shown())
            boxes += box.icon == platform::MessageIcon::Critical ? 1 : 0;
        QCOMPARE(boxes, 0);
        QCOMPARE(window.editTag().isEmpty(), expect == Expect::Starts);
    }

    // Nothing outside the data folder was written, nor a big notes file cut.
    QFile f(outside);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), outsideBytes);
    QCOMPARE(QFileInfo(outside).permissions() & QFile::WriteOwner, QFile::WriteOwner);
    if (kind == u"huge notes")
        QCOMPARE(QFileInfo(notes1).size(), notesSize);
}

void TestHostileFiles::unreadableOrOthersFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Access>("access");
    QTest::addColumn<Store>("store");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("problem"); // what the box says went wrong

    const QString data = paths::DataFile;
    const QString index = paths::IndexFile;
    const auto denied = [](const QString &operation, const QString &path) {
        return u"Cannot %1 %2: Permission denied."_s.arg(operation, path);
    };
    for (const Store store : {Store::ExtendedAttributes, Store::Sidecar}) {
        const char *where = store == Store::Sidecar ? ", attributes in the sidecar" : "";
        // Without extended attributes the seal check needs nothing from the file
        // itself: the first read of it fails instead.
        const QString seal = store == Store::Sidecar ? u"read"_s : u"read the attributes of"_s;
        QTest::addRow("data file not readable%s", where)
            << data << Access::Unreadable << store << Outcome::StartRefused << denied(seal, data);
        QTest::addRow("data file of another user%s", where)
            << data << Access::OthersPrivate << store << Outcome::StartRefused
            << denied(seal, data);
        // Readable, but its attributes cannot be set to normal for a read.
        QTest::addRow("data file of another user, readable by all%s", where)
            << data << Access::OthersReadable << store << Outcome::NavigationRefused
            << u"Cannot set the attributes of %1: Operation not permitted."_s.arg(data);
        QTest::addRow("index file not readable%s", where)
            << index << Access::Unreadable << store << Outcome::StartRefused << denied(seal, index);
        QTest::addRow("index file of another user%s", where)
            << index << Access::OthersPrivate << store << Outcome::StartRefused
            << denied(seal, index);
        // The program only reads the index unless a save raises the count.
        QTest::addRow("index file of another user, readable by all%s", where)
            << index << Access::OthersReadable << store << Outcome::Starts << QString();
    }
    for (const int contact : {1, 2}) {
        const QString notes = notes::pathFor(contact);
        const Outcome refused = contact == 1 ? Outcome::StartRefused : Outcome::NavigationRefused;
        QTest::addRow("notes of contact %d not readable", contact)
            << notes << Access::Unreadable << Store::ExtendedAttributes << refused
            << denied(u"read"_s, notes);
        QTest::addRow("notes of contact %d of another user", contact)
            << notes << Access::OthersPrivate << Store::ExtendedAttributes << refused
            << denied(u"read"_s, notes);
        QTest::addRow("notes of contact %d of another user, readable by all", contact)
            << notes << Access::OthersReadable << Store::ExtendedAttributes << Outcome::Starts
            << QString();
    }
}

// A file the program may not read, or may read but not change, because of its mode or
// its owner. Root passes every permission check, so the program runs in a child
// process as an ordinary user. It must not crash, must say in one box which file it
// cannot use and why, and must leave every file as it was.
void TestHostileFiles::unreadableOrOthersFiles()
{
    QFETCH(QString, file);
    QFETCH(Access, access);
    QFETCH(Store, store);
    QFETCH(Outcome, outcome);
    QFETCH(QString, problem);

    const bool root = ::geteuid() == 0;
    if (!root && access != Access::Unreadable)
        QSKIP("Only root can give a file to another user.");

    testing::TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    platform::attributestore::forceSidecar(store == Store::Sidecar);
    QByteArray data;
    for (int i = 1; i <= 3; ++i)
        data += LoadedWindow::recordBytes(i);
    drive.writeFile(paths::DataFile, data);
    drive.writeFile(paths::IndexFile, LoadedWindow::indexBytes(3));
    drive.writeFile(notes::pathFor(1), "Notes of 1\r\n");
    drive.writeFile(notes::pathFor(2), "Notes of 2\r\n");
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);
    drive.writeFile(u"c:\\outside.txt"_s, "not the program's\r\n");
    if (root) {
        // A user namespace may not map the two users.
        if (!giveTo(drive.root(), ProgramUser))
            QSKIP("Root cannot give files to uid 65533 on this machine.");
        QDirIterator it(drive.root(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY(giveTo(it.next(), ProgramUser));
    }
    const std::map<QString, QString> before = snapshot(drive.root());

    const QByteArray native = QFile::encodeName(drive.native(file));
    struct stat original
    {};
    QCOMPARE(::stat(native.constData(), &original), 0);
    const bool notesFile = file.contains(u"Contact Notes");
    mode_t mode = 0;
    if (access == Access::OthersPrivate)
        mode = notesFile ? 0600 : 0400; // as the program leaves its notes and sealed files
    else if (access == Access::OthersReadable)
        mode = notesFile ? 0644 : 0444;
    if (access != Access::Unreadable && !giveTo(drive.native(file), OtherUser))
        QSKIP("Root cannot give files to nobody (uid 65534) on this machine.");
    QCOMPARE(::chmod(native.constData(), mode), 0);

    int channel[2];
    QCOMPARE(::pipe(channel), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(channel[0]);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(ProgramUser) != 0 ||
                     ::setuid(ProgramUser) != 0))
            ::_exit(CannotDropRoot);
        if (::access(QFile::encodeName(drive.root()).constData(), R_OK | W_OK | X_OK) != 0)
            ::_exit(UnreachableDrive);
        QByteArray report;
        {
            QDataStream out(&report, QIODevice::WriteOnly);
            out << runProgram();
        }
        for (qsizetype done = 0; done < report.size();) {
            const ssize_t written =
                ::write(channel[1], report.constData() + done, size_t(report.size() - done));
            if (written <= 0)
                ::_exit(101);
            done += written;
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, got);
    ::close(channel[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the program did not end normally");
    if (WEXITSTATUS(status) == CannotDropRoot)
        QSKIP("Root cannot become uid 65533 on this machine.");
    if (WEXITSTATUS(status) == UnreachableDrive)
        QSKIP(qPrintable(
            u"An ordinary user cannot reach the temporary folder %1."_s.arg(drive.root())));
    QCOMPARE(WEXITSTATUS(status), 0);
    Seen seen;
    QDataStream in(report);
    in >> seen;
    QCOMPARE(in.status(), QDataStream::Ok);

    // The boxes: the About boxes, then exactly the one expected.
    QCOMPARE(seen.unexpected, QStringList());
    QList<platform::MessageBox> expected{
        {about::creditsTitle(), about::creditsText()},
        {about::donationsTitle(), about::donationsText()},
    };
    if (outcome == Outcome::StartRefused)
        expected.append({u"Cardomine Cannot Start"_s, problem + u"\rCardomine will now close."_s,
                         platform::MessageIcon::Critical});
    else if (outcome == Outcome::NavigationRefused)
        expected.append({u"File Problem!"_s, problem + u"\rRecord 2 cannot be shown."_s,
                         platform::MessageIcon::Critical});
    const auto describeAll = [](const QList<platform::MessageBox> &boxes) {
        QStringList texts;
        for (const platform::MessageBox &box : boxes)
            texts << platform::describe(box);
        return texts.join(u"\n"_s);
    };
    QCOMPARE(describeAll(seen.boxes), describeAll(expected));

    if (outcome == Outcome::StartRefused) {
        QCOMPARE(seen.loaded, int(startup::LoadResult::Exit));
    } else {
        QCOMPARE(seen.loaded, int(startup::LoadResult::Ready));
        QCOMPARE(seen.boxesAtStart, 2);
        QCOMPARE(seen.notesAtStart, u"Notes of 1"_s);
        const int shownNumber = outcome == Outcome::Starts ? 2 : 1;
        QCOMPARE(seen.recordShown, shownNumber);
        QVERIFY2(seen.firstName.startsWith(u"First%1"_s.arg(shownNumber)),
                 qPrintable(seen.firstName));
        QCOMPARE(seen.notesShown, u"Notes of %1"_s.arg(shownNumber));
        QCOMPARE(seen.status, outcome == Outcome::Starts ? u"Ready.  You Are Viewing Record# : 2"_s
                                                         : u"Ready.  Option Selected: View"_s);
        // What worked once works again: the next start is as the first.
        QCOMPARE(describeAll(seen.boxesAgain), describeAll(expected.mid(0, 2)));
        QCOMPARE(seen.loadedAgain, int(startup::LoadResult::Ready));
    }

    // The file keeps its owner and mode; once it is given back, every file of the drive
    // is as it was (nothing set aside, no marker left, nothing written outside), and the
    // data and index files are still sealed.
    struct stat after
    {};
    QCOMPARE(::stat(native.constData(), &after), 0);
    QCOMPARE(after.st_uid, access == Access::Unreadable ? original.st_uid : OtherUser);
    QCOMPARE(after.st_mode & 07777, mode);
    if (access != Access::Unreadable)
        QVERIFY(giveTo(drive.native(file), original.st_uid));
    QCOMPARE(::chmod(native.constData(), original.st_mode & 07777), 0);
    const std::map<QString, QString> now = snapshot(drive.root());
    for (const auto &[path, entry] : before) {
        const auto found = now.find(path);
        QVERIFY2(found != now.end(), qPrintable(path + u" is gone"));
        QVERIFY2(found->second == entry, qPrintable(path + u" changed"));
    }
    for (const auto &[path, entry] : now)
        QVERIFY2(before.count(path) == 1, qPrintable(path + u" is new"));
    QCOMPARE(platform::files::attributes(paths::DataFile), 7);
    QCOMPARE(platform::files::attributes(paths::IndexFile), 5);
}

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
