// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/attributestore.h"
#include "platform/drive.h"
#include "platform/faults.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/nativefolder.h"
#include "platform/readahead.h"
#include "platform/rewrittenfile.h"
#include "tests/support/crashat.h"
#include "tests/support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cardomine::platform;
using namespace Qt::StringLiterals;
using cardomine::testing::TempDrive;

namespace {

const QString Folder = u"c:\\Program Files\\Pelvarin"_s;
const QString Index = u"c:\\Program Files\\Pelvarin\\Index.tbl"_s;
const QString Data = u"c:\\Program Files\\Pelvarin\\Cardomine.Dat"_s;

QString strerrorText(int errorCode)
{
    return QString::fromLocal8Bit(std::strerror(errorCode));
}

// Every name in a folder, hidden ones included.
QStringList entries(const QString &nativeFolder)
{
    return QDir(nativeFolder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name);
}

int permissions(const QString &native)
{
    struct stat info
    {};
    if (::stat(QFile::encodeName(native).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void existence();
    void createFolderIsPrivate();
    void newFilesArePrivate();
    void deleteFile();
    void moveRefusesToOverwrite();
    void moveKeepsTheFileInOnePlace_data();
    void moveKeepsTheFileInOnePlace();
    void readAndReplace();
    void records();
    void listedInNameOrder();
    void listedWithFacts_data();
    void listedWithFacts();
    void recordNumberMustBePositive_data();
    void recordNumberMustBePositive();
    void readOnlyIsNotWritten();
    void othersFileIsNotReplaced();
    void changedOnlyWhileAsSeen_data();
    void changedOnlyWhileAsSeen();
    void injectedFaultFailsTheOperation_data();
    void injectedFaultFailsTheOperation();
    void replaceLeavesOldOrNewUnderEveryFault_data();
    void replaceLeavesOldOrNewUnderEveryFault();
    void preparedReplacementsChangeNothingUntilCommit();
    void newFilesInABatch_data();
    void newFilesInABatch();
    void filesReadAhead_data();
    void filesReadAhead();
    void replaceSurvivesACrashAtEveryStep();
    void rewrittenFileFollowsItsName();
    void readIfFile_data();
    void readIfFile();
    void replaceIfChangedKeepsAnUnchangedFile_data();
    void replaceIfChangedKeepsAnUnchangedFile();
    void pathWithNulIsRefused();
    void listFiles();
    void replaceNativeFile();
    void namesInAnyCase_data();
    void namesInAnyCase();
    void linkedFolderIsNotWrittenThrough_data();
    void linkedFolderIsNotWrittenThrough();
    void fifoIsRefusedWithoutWaiting_data();
    void fifoIsRefusedWithoutWaiting();

private:
    void prepare();
    void perform(const QString &operation);

    std::unique_ptr<TempDrive> m_drive;
};

void TestFiles::init()
{
    m_drive = std::make_unique<TempDrive>();
    QVERIFY2(m_drive->isValid(), qPrintable(m_drive->errorString()));
    faults::reset();
}

void TestFiles::cleanup()
{
    faults::reset();
    m_drive.reset();
}

void TestFiles::existence()
{
    QVERIFY(!files::folderExists(Folder));
    QVERIFY(!files::fileExists(Index));
    files::createFolder(u"c:\\Program Files"_s);
    files::createFolder(Folder);
    QVERIFY(files::folderExists(Folder));
    QVERIFY(!files::fileExists(Folder));
    files::replaceBytes(Index, "x");
    QVERIFY(files::fileExists(Index));
    QVERIFY(!files::folderExists(Index));
    // Looking below a file is a plain "no", not an error.
    QVERIFY(!files::fileExists(Index + u"\\below"_s));
    // The drive path's case of the drive letter does not matter.
    QVERIFY(files::fileExists(u"C:\\Program Files\\Pelvarin\\Index.tbl"_s));
}

void TestFiles::createFolderIsPrivate()
{
    files::createFolder(u"c:\\Program Files"_s);
    QCOMPARE(permissions(m_drive->native(u"c:\\Program Files"_s)), 0700);
    // One level at a time, and never over an existing folder.
    QVERIFY_THROWS_EXCEPTION(FileError, files::createFolder(u"c:\\a\\b"_s));
    try {
        files::createFolder(u"c:\\Program Files"_s);
        QFAIL("created an existing folder");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), EEXIST);
        QCOMPARE(error.message(),
                 u"Cannot create the folder c:\\Program Files: "_s + strerrorText(EEXIST) + u"."_s);
    }
}

void TestFiles::newFilesArePrivate()
{
    files::replaceBytes(u"c:\\replaced.txt"_s, "a");
    files::appendBytes(u"c:\\appended.txt"_s, "a");
    files::writeRecord(u"c:\\records.dat"_s, 1, "a");
    for (const char *name : {"replaced.txt", "appended.txt", "records.dat"})
        QCOMPARE(permissions(m_drive->root() + u'/' + QLatin1String(name)), 0600);
}

void TestFiles::deleteFile()
{
    m_drive->writeFile(Index, "x");
    files::deleteFile(Index);
    QVERIFY(!QFileInfo::exists(m_drive->native(Index)));
    try {
        files::deleteFile(Index);
        QFAIL("deleted a missing file");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), ENOENT);
        QCOMPARE(error.path(), Index);
    }
    // A folder is not a file.
    QVERIFY_THROWS_EXCEPTION(FileError, files::deleteFile(Folder.left(Folder.lastIndexOf(u'\\'))));
}

void TestFiles::moveRefusesToOverwrite()
{
    m_drive->writeFile(Index, "old index");
    m_drive->writeFile(Data, "data");
    try {
        files::moveFile(Index, Data);
        QFAIL("moved over an existing file");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), EEXIST);
        QCOMPARE(error.path(), Index);
    }
    QCOMPARE(m_drive->readFile(Index), QByteArray("old index"));
    QCOMPARE(m_drive->readFile(Data), QByteArray("data"));

    files::createFolder(Folder + u"\\Recovered"_s);
    const QString recovered = Folder + u"\\Recovered\\Index.tbl.20240101-120000"_s;
    files::moveFile(Index, recovered);
    QVERIFY(!files::fileExists(Index));
    QCOMPARE(m_drive->readFile(recovered), QByteArray("old index"));
}

void TestFiles::moveKeepsTheFileInOnePlace_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second"); // 0: one fault only
    QTest::addColumn<bool>("mustGoThrough");
    QTest::addColumn<bool>("taken"); // the target name holds another file
    const struct
    {
        const char *name;
        int first;
        int second;
        bool mustGoThrough;
    } rows[] = {
        {"no RENAME_NOREPLACE (EINVAL)", EINVAL, 0, true},
        {"no renameat2 (ENOSYS)", ENOSYS, 0, true},
        {"target on another disk (EXDEV)", EXDEV, 0, true},
        {"no hard links either (EINVAL, EPERM)", EINVAL, EPERM, true},
        {"hard links not supported (ENOSYS, EOPNOTSUPP)", ENOSYS, EOPNOTSUPP, true},
        {"another disk without hard links (EXDEV, EPERM)", EXDEV, EPERM, true},
        {"another disk, then full (EXDEV, ENOSPC)", EXDEV, ENOSPC, false},
        {"a failure, then another (EIO, EIO)", EIO, EIO, false},
    };
    for (const auto &row : rows) {
        QTest::newRow(row.name) << row.first << row.second << row.mustGoThrough << false;
        if (row.mustGoThrough)
            QTest::addRow("%s, target taken", row.name) << row.first << row.second << false << true;
    }
}

// Whichever fallback a file system forces on a move (and whatever fails in it), the
// file ends whole in exactly one place, and a move reported done is done.
void TestFiles::moveKeepsTheFileInOnePlace()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, mustGoThrough);
    QFETCH(bool, taken);
    const QByteArray content = QByteArray("the user's data\r\n").repeated(500);
    const QString recovered = Folder + u"\\Recovered"_s;
    const QString target = recovered + u"\\Index.tbl.20240101-120000"_s;
    files::createFolder(u"c:\\Program Files"_s);
    files::createFolder(Folder);
    files::createFolder(recovered);
    const QString targetNative = m_drive->native(target);
    const QString sourceNative = m_drive->native(Index);

    // Runs the move with the faults armed; empty when the invariant holds. A move that
    // went through in more calls than a plain rename took a fallback.
    qint64 calls = 0;
    qint64 lastCalls = 0;
    int wentThrough = 0;
    const auto moveWith = [&](qint64 k, qint64 m) -> QString {
        QFile::remove(targetNative);
        m_drive->writeFile(Index, content);
        if (taken)
            m_drive->writeFile(target, "another file");
        faults::reset();
        if (k > 0)
            faults::arm(k, first);
        if (m > 0)
            faults::armSecond(m, second);
        bool done = true;
        try {
            files::moveFile(Index, target);
        } catch (const FileError &) {
            done = false;
        }
        lastCalls = faults::operationCount();
        faults::reset();
        const bool atSource = QFile::exists(sourceNative);
        const bool atTarget = QFile::exists(targetNative);
        const QString where = u"faults at %1 and %2: "_s.arg(k).arg(m);
        if (taken) {
            if (done || m_drive->readFile(target) != "another file" ||
                m_drive->readFile(Index) != content ||
                entries(m_drive->native(recovered)).size() != 1)
                return where + u"the taken name was not respected"_s;
            return {};
        }
        if (atSource == atTarget)
            return where + (atSource ? u"in both places"_s : u"in neither place"_s);
        if (m_drive->readFile(atSource ? Index : target) != content)
            return where + u"not whole"_s;
        if (done && atSource)
            return where + u"reported moved, but not moved"_s;
        if (entries(m_drive->native(recovered)).size() != (atTarget ? 1 : 0))
            return where + u"left "_s + entries(m_drive->native(recovered)).join(u' ');
        wentThrough += done && k > 0 && lastCalls > calls ? 1 : 0;
        return {};
    };

    QCOMPARE(moveWith(0, 0), QString());
    calls = lastCalls;
    for (qint64 k = 1; k <= calls; ++k) {
        QString problem = moveWith(k, 0);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        // The second fault sweeps the calls the first one's path makes after it.
        const qint64 callsAfter = lastCalls;
        for (qint64 m = k + 1; second != 0 && m <= callsAfter; ++m) {
            problem = moveWith(k, m);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }
    // The fallback was reached and moved the file.
    if (mustGoThrough)
        QVERIFY(wentThrough > 0);
}

void TestFiles::readAndReplace()
{
    files::appendBytes(u"c:\\x.txt"_s, "one\r\n");
    files::appendBytes(u"c:\\x.txt"_s, "two\r\n");
    QCOMPARE(files::readBytes(u"c:\\x.txt"_s), QByteArray("one\r\ntwo\r\n"));
    QCOMPARE(files::readBytes(u"c:\\x.txt"_s, 3), QByteArray("one"));
    QCOMPARE(files::fileSize(u"c:\\x.txt"_s), 10);

    files::replaceBytes(u"c:\\x.txt"_s, "three");
    QCOMPARE(m_drive->readFile(u"c:\\x.txt"_s), QByteArray("three"));
    files::replaceBytes(u"c:\\x.txt"_s, QByteArray());
    QCOMPARE(files::fileSize(u"c:\\x.txt"_s), 0);
    QCOMPARE(entries(m_drive->root()), QStringList{u"x.txt"_s});

    QVERIFY_THROWS_EXCEPTION(FileError, files::readBytes(u"c:\\missing.txt"_s));
    QVERIFY_THROWS_EXCEPTION(FileError, files::fileSize(u"c:\\missing.txt"_s));
}

// Listed names come sorted as text, however long their common beginning.
void TestFiles::listedInNameOrder()
{
    const QString folder = m_drive->root() + u"/list";
    QVERIFY(QDir().mkpath(folder));
    QStringList names{u"9.txt"_s,      u"10.txt"_s,     u"1.txt"_s,    u"1.TXT"_s,
                      u"abcdefgh2"_s,  u"abcdefgh10"_s, u"abcdefgh"_s, u"abcdefg"_s,
                      u"abcdefghab"_s, u"abcdefghaa"_s, u"a"_s,        u"~"_s};
    for (const QString &name : std::as_const(names)) {
        QFile file(folder + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QStringList listed;
    for (const files::NativeItem &item : files::listNativeItems(folder, files::ItemFacts::KindOnly))
        listed.append(item.name);
    names.sort();
    QCOMPARE(listed, names);
}

void TestFiles::listedWithFacts_data()
{
    QTest::addColumn<int>("files");
    QTest::newRow("a few") << 12;
    QTest::newRow("many, stat'ed on two threads") << 1500;
}

// Each entry comes with the facts lstat gives it; entries are the regular files only.
void TestFiles::listedWithFacts()
{
    QFETCH(int, files);
    const QString folder = m_drive->root() + u"/facts"_s;
    QVERIFY(QDir().mkpath(folder + u"/sub"_s));
    for (int i = 0; i < files; ++i) {
        QFile file(folder + u"/%1.txt"_s.arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(i % 50, 'x')) == i % 50);
    }
    QVERIFY(QFile::link(u"1.txt"_s, folder + u"/link"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(folder + u"/fifo"_s).constData(), 0600), 0);
    QSet<QString> regular;
    for (const files::NativeItem &item : files::listNativeItems(folder)) {
        struct stat info
        {};
        QCOMPARE(::lstat(QFile::encodeName(folder + u'/' + item.name).constData(), &info), 0);
        QCOMPARE(item.inode, std::uint64_t(info.st_ino));
        QCOMPARE(item.size, std::int64_t(info.st_size));
        const files::NativeKind kind = S_ISREG(info.st_mode)   ? files::NativeKind::File
                                       : S_ISDIR(info.st_mode) ? files::NativeKind::Folder
                                       : S_ISLNK(info.st_mode) ? files::NativeKind::Link
                                                               : files::NativeKind::Other;
        QCOMPARE(item.kind, kind);
        if (kind == files::NativeKind::File)
            regular.insert(item.name);
    }
    QCOMPARE(regular.size(), files);
    const QList<files::NativeEntry> entries = files::listNativeEntries(folder);
    QCOMPARE(entries.size(), files);
    for (const files::NativeEntry &entry : entries) {
        QVERIFY(regular.contains(entry.name));
        QCOMPARE(entry.size, std::int64_t(entry.name.section(u'.', 0, 0).toInt() % 50));
    }
}

void TestFiles::records()
{
    const QString path = u"c:\\records.dat"_s;
    const QByteArray first(8, 'a');
    const QByteArray third(8, 'c');
    // Writing past the end extends the file; the gap reads as zero bytes.
    files::writeRecord(path, 3, third);
    QCOMPARE(files::fileSize(path), 24);
    files::writeRecord(path, 1, first);
    QCOMPARE(m_drive->readFile(path), first + QByteArray(8, '\0') + third);

    QCOMPARE(files::readRecord(path, 1, 8), first);
    QCOMPARE(files::readRecord(path, 3, 8), third);
    // Past the end: spaces; across the end: what exists, then spaces.
    QCOMPARE(files::readRecord(path, 4, 8), QByteArray(8, ' '));
    QCOMPARE(files::readRecord(path, 100, 8), QByteArray(8, ' '));
    QCOMPARE(files::readRecord(path, 2, 16), QByteArray(8, 'c') + QByteArray(8, ' '));

    // A record written in place changes only its own bytes.
    files::writeRecord(path, 2, QByteArray(8, 'b'));
    QCOMPARE(m_drive->readFile(path), first + QByteArray(8, 'b') + third);
}

void TestFiles::recordNumberMustBePositive_data()
{
    QTest::addColumn<qint64>("recordNumber");
    QTest::newRow("zero") << qint64(0);
    QTest::newRow("negative") << qint64(-1);
    QTest::newRow("offset overflows") << std::numeric_limits<qint64>::max();
}

void TestFiles::recordNumberMustBePositive()
{
    QFETCH(qint64, recordNumber);
    m_drive->writeFile(Data, QByteArray(249, 'x'));
    QVERIFY_THROWS_EXCEPTION(FileError,
                             files::writeRecord(Data, recordNumber, QByteArray(249, 'y')));
    QVERIFY_THROWS_EXCEPTION(FileError, files::readRecord(Data, recordNumber, 249));
    QCOMPARE(m_drive->readFile(Data), QByteArray(249, 'x'));
}

void TestFiles::readOnlyIsNotWritten()
{
    // Root passes the permission bits; the program must not, so that a missing
    // "set to normal first" shows up in tests run as root too.
    m_drive->writeFile(Data, "sealed");
    files::setAttributes(Data, ReadOnly | Hidden | System);
    for (int attempt = 0; attempt < 5; ++attempt) {
        try {
            switch (attempt) {
            case 0:
                files::writeRecord(Data, 1, "x");
                break;
            case 1:
                files::appendBytes(Data, "x");
                break;
            case 2:
                files::replaceBytes(Data, "x");
                break;
            case 3:
                files::deleteFile(Data);
                break;
            case 4: {
                files::RewrittenFile file;
                file.write(Data, "x");
                break;
            }
            }
            QFAIL(qPrintable(u"attempt %1 wrote a read-only file"_s.arg(attempt)));
        } catch (const FileError &error) {
            QCOMPARE(error.errorCode(), EACCES);
        }
    }
    QCOMPARE(m_drive->readFile(Data), QByteArray("sealed"));
    files::setAttributes(Data, Normal);
    files::writeRecord(Data, 1, "S");
    QCOMPARE(m_drive->readFile(Data), QByteArray("Sealed"));
}

// A user's folder may let a rename replace a file the user may not write; the
// program does not. Root passes every check, so an ordinary user does the writing.
void TestFiles::changedOnlyWhileAsSeen_data()
{
    QTest::addColumn<QString>("change");    // replace or delete
    QTest::addColumn<QString>("meanwhile"); // what another program does just before it
    QTest::addColumn<bool>("exchange");     // the file system swaps two names in one step
    for (const bool exchange : {true, false}) {
        const char *how = exchange ? "swapped" : "no RENAME_EXCHANGE";
        for (const char *meanwhile : {"nothing", "rewrite", "replace", "delete"})
            for (const char *change : {"replace", "delete"})
                QTest::addRow("%s, %s meanwhile, %s", change, meanwhile, how)
                    << QString::fromLatin1(change) << QString::fromLatin1(meanwhile) << exchange;
        QTest::addRow("create, create meanwhile, %s", how)
            << u"create"_s << u"create"_s << exchange;
        QTest::addRow("create, nothing meanwhile, %s", how)
            << u"create"_s << u"nothing"_s << exchange;
    }
}

// A native file is replaced or deleted only while it holds the bytes the caller read
// (or, for a new one, while there is none): whatever another program did just before
// stays, and nothing of the change is left behind.
void TestFiles::changedOnlyWhileAsSeen()
{
    QFETCH(QString, change);
    QFETCH(QString, meanwhile);
    QFETCH(bool, exchange);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"card.vcf"_s);
    const QByteArray read("BEGIN:VCARD\r\nFN:Ada\r\nEND:VCARD\r\n");
    const QByteArray theirs = QByteArray(read).replace("Ada", "Bea"); // same size
    const QByteArray ours("BEGIN:VCARD\r\nFN:Ada Lovelace\r\nEND:VCARD\r\n");
    const auto write = [](const QString &file, const QByteArray &bytes) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(bytes), bytes.size());
    };
    if (change != u"create")
        write(path, read);
    bool acted = false;
    faults::reset();
    faults::beforeReplacing([&](const QString &native) {
        QCOMPARE(native, path);
        acted = true;
        if (meanwhile == u"rewrite" || meanwhile == u"create") {
            write(path, theirs); // in place: the same inode and size
        } else if (meanwhile == u"replace") {
            write(path + u".new"_s, theirs);
            QCOMPARE(::rename(QFile::encodeName(path + u".new"_s).constData(),
                              QFile::encodeName(path).constData()),
                     0);
        } else if (meanwhile == u"delete") {
            QVERIFY(QFile::remove(path));
        }
        if (!exchange)
            faults::arm(faults::operationCount() + 1, EINVAL);
    });
    const bool changed = meanwhile != u"nothing";
    if (change == u"delete") {
        QCOMPARE(files::deleteNativeFileIfSeen(path, files::SeenFile::holding(read)),
                 !changed || meanwhile == u"delete");
    } else {
        files::PreparedReplacements batch;
        batch.addNative(path, ours,
                        change == u"create" ? files::SeenFile::missing()
                                            : files::SeenFile::holding(read));
        QCOMPARE(batch.commit(), changed ? QStringList{path} : QStringList());
    }
    faults::reset();
    QVERIFY(acted);
    QFile file(path);
    const bool there = file.open(QIODevice::ReadOnly);
    if (!changed && change == u"delete")
        QVERIFY(!there);
    else if (!changed)
        QCOMPARE(file.readAll(), ours);
    else if (meanwhile == u"delete")
        QVERIFY(!there);
    else
        QCOMPARE(file.readAll(), theirs);
    QCOMPARE(entries(dir.path()), there ? QStringList{u"card.vcf"_s} : QStringList());
}

void TestFiles::othersFileIsNotReplaced()
{
    if (::geteuid() != 0)
        QSKIP("Only root can give the folder to another user.");
    const uid_t user = 65534;
    m_drive->writeFile(Index, "root's\r\n");
    QCOMPARE(::chown(QFile::encodeName(m_drive->root()).constData(), user, user), 0);
    QCOMPARE(::chown(QFile::encodeName(m_drive->native(Folder)).constData(), user, user), 0);
    QCOMPARE(
        ::chown(QFile::encodeName(m_drive->native(u"c:\\Program Files"_s)).constData(), user, user),
        0);
    QCOMPARE(permissions(m_drive->native(Index)) & 0222, 0200); // writable by its owner only

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::setgid(user) != 0 || ::setuid(user) != 0)
            ::_exit(100);
        int refused = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            try {
                if (attempt == 0)
                    files::replaceBytes(Index, "mine\r\n");
                else if (attempt == 1)
                    files::replaceBytesIfChanged(Index, "mine\r\n");
                else
                    files::appendBytes(Index, "mine\r\n");
            } catch (const FileError &error) {
                if (error.errorCode() == EACCES)
                    ++refused;
            }
        }
        // The user's own new file is written as ever.
        try {
            files::replaceBytes(Folder + u"\\Mine.tbl"_s, "mine\r\n");
        } catch (...) {
            ::_exit(101);
        }
        ::_exit(refused);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 3);
    QCOMPARE(m_drive->readFile(Index), QByteArray("root's\r\n"));
    QCOMPARE(m_drive->readFile(Folder + u"\\Mine.tbl"_s), QByteArray("mine\r\n"));
}

void TestFiles::prepare()
{
    QDir(m_drive->root()).removeRecursively();
    QDir().mkpath(m_drive->root());
    m_drive->writeFile(Index, "old\r\n");
    // The rewritten file may get the old one's inode and time: a fresh start each time.
    attributestore::forgetKnownFiles();
}

void TestFiles::perform(const QString &operation)
{
    if (operation == u"replace"_s)
        files::replaceBytes(Index, "new\r\n");
    else if (operation == u"append"_s)
        files::appendBytes(Index, "more\r\n");
    else if (operation == u"rewrite"_s)
        files::RewrittenFile().write(Index, "new\r\n");
    else if (operation == u"write record"_s)
        files::writeRecord(Index, 2, "12345");
    else if (operation == u"read"_s)
        files::readBytes(Index);
    else if (operation == u"read if file"_s)
        files::readBytesIfFile(Index);
    else if (operation == u"read record"_s)
        files::readRecord(Index, 1, 5);
    else if (operation == u"create folder"_s)
        files::createFolder(Folder + u"\\Contact Notes"_s);
    else if (operation == u"delete"_s)
        files::deleteFile(Index);
    else if (operation == u"move"_s)
        files::moveFile(Index, Folder + u"\\Moved.tbl"_s);
    else if (operation == u"attributes"_s)
        files::setAttributes(Index, ReadOnly | System);
    else
        QFAIL(qPrintable(u"unknown operation "_s + operation));
}

void TestFiles::injectedFaultFailsTheOperation_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("verb");

    const std::pair<const char *, const char *> operations[] = {
        {"replace", "write"},
        {"append", "write"},
        {"write record", "write"},
        {"rewrite", "write"},
        {"read if file", "read"},
        {"read", "read"},
        {"read record", "read"},
        {"create folder", "create the folder"},
        {"delete", "delete"},
        {"move", "move"},
        {"attributes", "set the attributes of"},
    };
    const std::pair<const char *, int> errors[] = {
        {"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EACCES", EACCES}};
    for (const auto &[operation, verb] : operations) {
        for (const auto &[errorName, errorCode] : errors) {
            QTest::addRow("%s, %s", operation, errorName)
                << QString::fromLatin1(operation) << errorCode << QString::fromLatin1(verb);
        }
    }
}

// Every system call of the operation, failed in turn, fails the operation with the
// chosen error and a message naming the file. Closing a file after reading it is
// the one call whose failure loses nothing and is let pass.
void TestFiles::injectedFaultFailsTheOperation()
{
    QFETCH(QString, operation);
    QFETCH(int, errorCode);
    QFETCH(QString, verb);

    prepare();
    faults::reset();
    perform(operation);
    const qint64 calls = faults::operationCount();
    QVERIFY(calls >= 1);

    int failures = 0;
    for (qint64 k = 1; k <= calls; ++k) {
        prepare();
        faults::reset();
        faults::arm(k, errorCode);
        try {
            perform(operation);
        } catch (const FileError &error) {
            ++failures;
            QCOMPARE(error.errorCode(), errorCode);
            QCOMPARE(error.operation(), verb);
            QCOMPARE(error.path(),
                     operation == u"create folder"_s ? Folder + u"\\Contact Notes"_s : Index);
            QVERIFY2(error.message().startsWith(u"Cannot "_s + verb + u' ' + error.path() +
                                                u": "_s + strerrorText(errorCode)),
                     qPrintable(error.message()));
            QVERIFY(error.message().endsWith(u'.'));
            continue;
        }
        const bool reading = operation.startsWith(u"read"_s);
        QVERIFY2(reading && k == calls,
                 qPrintable(u"operation %1 of %2 failed silently"_s.arg(k).arg(calls)));
    }
    QVERIFY(failures >= 1);
}

void TestFiles::replaceLeavesOldOrNewUnderEveryFault_data()
{
    QTest::addColumn<int>("errorCode");
    QTest::newRow("ENOSPC") << ENOSPC;
    QTest::newRow("EIO") << EIO;
    QTest::newRow("EACCES") << EACCES;
}

void TestFiles::replaceLeavesOldOrNewUnderEveryFault()
{
    QFETCH(int, errorCode);
    const QByteArray oldContent = QByteArray("Num_Of_Records=     1\r\n").repeated(200);
    const QByteArray newContent = QByteArray("Num_Of_Records=     2\r\n").repeated(300);
    const QString folder = m_drive->native(Folder);

    m_drive->writeFile(Index, oldContent);
    faults::reset();
    files::replaceBytes(Index, newContent);
    const qint64 calls = faults::operationCount();

    int keptOld = 0;
    for (qint64 k = 1; k <= calls; ++k) {
        m_drive->writeFile(Index, oldContent);
        faults::reset();
        faults::arm(k, errorCode);
        QVERIFY_THROWS_EXCEPTION(FileError, files::replaceBytes(Index, newContent));
        const QByteArray content = m_drive->readFile(Index);
        QVERIFY2(content == oldContent || content == newContent,
                 qPrintable(u"fault at call %1 left %2 bytes"_s.arg(k).arg(content.size())));
        if (content == oldContent)
            ++keptOld;
        QCOMPARE(entries(folder), QStringList{u"Index.tbl"_s});
    }
    // Everything up to the rename keeps the old file.
    QVERIFY(keptOld >= 4);
}

void TestFiles::preparedReplacementsChangeNothingUntilCommit()
{
    const QString folder = m_drive->native(Folder);
    const QStringList names{u"1.txt"_s, u"2.txt"_s, u"3.txt"_s};
    const auto prepareAll = [&] {
        files::PreparedReplacements batch;
        // 2.txt is there already; the others are new files, written under their names.
        for (const QString &name : names) {
            if (name == u"2.txt"_s)
                batch.add(Folder + u'\\' + name, name.toLatin1() + " new");
            else
                batch.addNew(Folder, name, name.toLatin1() + " new");
        }
        batch.flush();
        return batch;
    };
    m_drive->writeFile(Folder + u"\\2.txt"_s, "old");
    faults::reset();
    files::PreparedReplacements done = prepareAll();
    const qint64 calls = faults::operationCount();
    done = files::PreparedReplacements(); // dropped uncommitted: its files go
    QCOMPARE(entries(folder), QStringList{u"2.txt"_s});

    // A failure anywhere in the writing or the flush leaves the folder as it was.
    for (qint64 k = 1; k <= calls; ++k) {
        faults::reset();
        faults::arm(k, EIO);
        QVERIFY_THROWS_EXCEPTION(FileError, prepareAll());
        QCOMPARE(entries(folder), QStringList{u"2.txt"_s});
        QCOMPARE(m_drive->readFile(Folder + u"\\2.txt"_s), QByteArray("old"));
    }
    faults::reset();
    files::PreparedReplacements batch = prepareAll();
    batch.commit();
    QCOMPARE(entries(folder), names);
    for (const QString &name : names)
        QCOMPARE(m_drive->readFile(Folder + u'\\' + name), name.toLatin1() + " new");
}

void TestFiles::newFilesInABatch_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("refused");  // a name too long for the file system; -1: none
    QTest::addColumn<int>("parts");    // begun in so many parts, the first the smallest
    QTest::addColumn<bool>("givenUp"); // the batch dropped before it is finished
    // One thread writes a small batch; a large one is shared between threads.
    QTest::newRow("few") << 20 << -1 << 1 << false;
    QTest::newRow("many") << 3000 << -1 << 1 << false;
    QTest::newRow("many, one name refused") << 3000 << 1700 << 1 << false;
    // A small first part is written at once, the later ones while the caller goes on.
    QTest::newRow("in parts") << 3000 << -1 << 4 << false;
    QTest::newRow("in parts, one name refused in the last") << 3000 << 2900 << 4 << false;
    QTest::newRow("in parts, given up unfinished") << 3000 << -1 << 4 << true;
}

void TestFiles::filesReadAhead_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("watched");
    QTest::newRow("a test counting operations: read by the caller") << 12 << true;
    QTest::newRow("many, read on a thread") << 700 << false;
}

// Files read ahead come as a plain read gives them (missing, folders, cut at the limit),
// in any order they are taken; a read-ahead given up early does not wait for the rest.
void TestFiles::filesReadAhead()
{
    QFETCH(int, count);
    QFETCH(bool, watched);
    if (!watched)
        faults::unwatch();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(u"%1.txt"_s.arg(i));
        if (i % 10 == 3)
            continue; // missing
        if (i % 10 == 7) {
            QVERIFY(QDir(dir.path()).mkdir(names.last()));
            continue;
        }
        QFile file(dir.filePath(names.last()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(i).repeated(i % 10 == 5 ? 40 : i % 4 + 1));
    }
    constexpr std::int64_t Limit = 32;
    const auto expected = files::readNativeFilesIn(dir.path(), names, Limit);
    QVERIFY(!expected[3] && !expected[7] && expected[5]->size() == Limit);
    {
        files::FileReadAhead ahead(dir.path(), names, Limit);
        for (int i = 0; i < count; ++i)
            if (i % 4 != 1)
                QCOMPARE(ahead.take(i), expected[size_t(i)]);
        for (int i = 1; i < count; i += 4)
            QCOMPARE(ahead.take(i), expected[size_t(i)]);
    }
    {
        files::FileReadAhead early(dir.path(), names, Limit);
        QCOMPARE(early.take(0), expected[0]);
    }
    files::FileReadAhead gone(dir.filePath(u"none"_s), names, Limit);
    QVERIFY_THROWS_EXCEPTION(FileError, gone.take(count - 1));
}

void TestFiles::newFilesInABatch()
{
    QFETCH(int, count);
    QFETCH(int, refused);
    QFETCH(int, parts);
    QFETCH(bool, givenUp);
    faults::unwatch();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList names;
    std::vector<QByteArray> bytes;
    for (int i = 0; i < count; ++i) {
        names.append(i == refused ? QString(300, u'x') : u"%1.vcf"_s.arg(i));
        bytes.push_back(QByteArray::number(i).repeated(i % 7 + 1));
    }
    // Another program's file already has one of the names: it is left as it is.
    const int taken = count / 3;
    QFile other(dir.filePath(names.at(taken)));
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("theirs") == 6);
    other.close();
    {
        files::PreparedReplacements batch;
        const auto addAll = [&] {
            if (parts == 1)
                return batch.addNewNatives(dir.path(), names, bytes);
            const int first = 100;
            const int each = (count - first) / (parts - 1) + 1;
            for (int from = 0; from < count; from = from == 0 ? first : from + each) {
                const int size = std::min(from == 0 ? first : each, count - from);
                batch.beginNewNatives(
                    dir.path(), names.mid(from, size),
                    std::vector<QByteArray>(bytes.begin() + from, bytes.begin() + from + size));
            }
            return givenUp ? std::vector<std::optional<files::WrittenFile>>()
                           : batch.finishNewNatives();
        };
        if (refused >= 0) {
            QVERIFY_THROWS_EXCEPTION(FileError, addAll());
        } else if (givenUp) {
            addAll();
        } else {
            const auto written = addAll();
            QCOMPARE(written.size(), size_t(count));
            batch.commit();
            for (int i = 0; i < count; ++i) {
                const QString path = dir.filePath(names.at(i));
                QCOMPARE(written[size_t(i)].has_value(), i != taken);
                struct stat info
                {};
                QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
                if (i == taken)
                    continue;
                QCOMPARE(written[size_t(i)]->inode, std::uint64_t(info.st_ino));
                QCOMPARE(written[size_t(i)]->size, std::int64_t(bytes[size_t(i)].size()));
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadOnly));
                QCOMPARE(file.readAll(), bytes[size_t(i)]);
            }
        }
    }
    faults::reset();
    // A batch given up removes every file it created, and only those.
    QCOMPARE(entries(dir.path()).size(), refused >= 0 || givenUp ? 1 : count);
    QFile kept(dir.filePath(names.at(taken)));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("theirs"));
}

void TestFiles::replaceSurvivesACrashAtEveryStep()
{
    const QByteArray oldContent("old index\r\n");
    const QByteArray newContent("new index\r\n");
    m_drive->writeFile(Index, oldContent);
    faults::reset();
    files::replaceBytes(Index, newContent);
    const qint64 calls = faults::operationCount();

    for (qint64 k = 1; k <= calls; ++k) {
        m_drive->writeFile(Index, oldContent);
        QVERIFY(cardomine::testing::crashesAt(k, faults::Mode::Crash,
                                              [&] { files::replaceBytes(Index, newContent); }));
        const QByteArray content = m_drive->readFile(Index);
        QVERIFY2(
            content == oldContent || content == newContent,
            qPrintable(u"crash at call %1 left \"%2\""_s.arg(k).arg(QString::fromLatin1(content))));
    }
}

// A rewrite cuts a longer text down and lengthens a shorter one; it follows the file
// when the path maps elsewhere or the open file was removed, and refuses links, FIFOs
// and read-only files rather than writing through or waiting on them.
void TestFiles::rewrittenFileFollowsItsName()
{
    prepare();
    m_drive->writeFile(Index, "a much longer old text\r\n");
    files::RewrittenFile file;
    file.write(Index, "new\r\n");
    QCOMPARE(m_drive->readFile(Index), QByteArray("new\r\n"));
    file.write(Index, "longer again\r\n");
    QCOMPARE(m_drive->readFile(Index), QByteArray("longer again\r\n"));

    QVERIFY(QFile::remove(m_drive->native(Index)));
    file.write(Index, "back\r\n");
    QCOMPARE(m_drive->readFile(Index), QByteArray("back\r\n"));

    const QString other = Folder + u"\\New.tbl"_s;
    file.write(other, "fresh");
    QCOMPARE(m_drive->readFile(other), QByteArray("fresh"));
    QCOMPARE(permissions(m_drive->native(other)), 0600);
    QCOMPARE(m_drive->readFile(Index), QByteArray("back\r\n"));

    {
        TempDrive second;
        QVERIFY(QDir().mkpath(second.native(Folder)));
        file.write(Index, "second drive");
        QCOMPARE(second.readFile(Index), QByteArray("second drive"));
    }
    QCOMPARE(m_drive->readFile(Index), QByteArray("back\r\n"));

    file.close();
    QVERIFY(QFile::link(m_drive->native(Index), m_drive->native(Folder + u"\\Link.tbl"_s)));
    QVERIFY(::mkfifo(QFile::encodeName(m_drive->native(Folder + u"\\Fifo.tbl"_s)).constData(),
                     0600) == 0);
    for (const QString &name : {u"Link.tbl"_s, u"Fifo.tbl"_s})
        QVERIFY_THROWS_EXCEPTION(FileError, file.write(Folder + u'\\' + name, "x"));
    QCOMPARE(m_drive->readFile(Index), QByteArray("back\r\n"));
}

void TestFiles::readIfFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<std::optional<QByteArray>>("expected");
    const QByteArray text = "line one\r\nline two\r\n";
    QTest::newRow("missing") << u"missing"_s << qint64(-1) << std::optional<QByteArray>();
    QTest::newRow("folder") << u"folder"_s << qint64(-1) << std::optional<QByteArray>();
    QTest::newRow("fifo") << u"fifo"_s << qint64(-1) << std::optional<QByteArray>();
    QTest::newRow("in a missing folder")
        << u"missing folder"_s << qint64(-1) << std::optional<QByteArray>();
    QTest::newRow("empty") << u"empty"_s << qint64(-1) << std::optional<QByteArray>(QByteArray());
    QTest::newRow("whole") << u"text"_s << qint64(-1) << std::optional<QByteArray>(text);
    QTest::newRow("exactly the limit")
        << u"text"_s << qint64(text.size()) << std::optional<QByteArray>(text);
    QTest::newRow("cut at the limit")
        << u"text"_s << qint64(4) << std::optional<QByteArray>(text.left(4));
    QTest::newRow("larger than one step")
        << u"big"_s << qint64(-1) << std::optional<QByteArray>(QByteArray(200000, 'b'));
}

// A notes file that may be missing is read without asking first; anything that is
// not a regular file reads as none, and a FIFO is not waited on.
void TestFiles::readIfFile()
{
    QFETCH(QString, kind);
    QFETCH(qint64, maxBytes);
    QFETCH(std::optional<QByteArray>, expected);
    prepare();
    QString path = Folder + u"\\Notes.txt"_s;
    const QString native = m_drive->native(path);
    if (kind == u"folder"_s)
        QVERIFY(QDir().mkpath(native));
    else if (kind == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(native).constData(), 0600), 0);
    else if (kind == u"missing folder"_s)
        path = Folder + u"\\Missing\\Notes.txt"_s;
    else if (kind != u"missing"_s)
        m_drive->writeFile(
            path, expected
                      ? (kind == u"text"_s ? QByteArray("line one\r\nline two\r\n") : *expected)
                      : QByteArray());
    QCOMPARE(files::readBytesIfFile(path, maxBytes), expected);
}

void TestFiles::replaceIfChangedKeepsAnUnchangedFile_data()
{
    QTest::addColumn<QByteArray>("oldContent"); // empty: no file
    QTest::addColumn<QByteArray>("newContent");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("same bytes") << QByteArray("Num_Of_Records=7\r\n")
                                << QByteArray("Num_Of_Records=7\r\n") << false;
    QTest::newRow("same size, other bytes")
        << QByteArray("Num_Of_Records=7\r\n") << QByteArray("Num_Of_Records=8\r\n") << true;
    QTest::newRow("longer") << QByteArray("abc") << QByteArray("abcd") << true;
    QTest::newRow("shorter") << QByteArray("abcd") << QByteArray("abc") << true;
    QTest::newRow("no file yet") << QByteArray() << QByteArray("new\r\n") << true;
}

// Only a file that already holds the very bytes is left in place, with its inode and
// its attributes; under a fault the file holds the old or the new bytes, never a mix,
// and no temporary file is left behind.
void TestFiles::replaceIfChangedKeepsAnUnchangedFile()
{
    QFETCH(QByteArray, oldContent);
    QFETCH(QByteArray, newContent);
    QFETCH(bool, replaced);
    const QString folder = m_drive->native(Folder);
    const auto setUp = [&] {
        QDir(m_drive->root()).removeRecursively();
        QDir().mkpath(folder);
        if (!oldContent.isEmpty()) {
            m_drive->writeFile(Index, oldContent);
            files::setAttributes(Index, System);
        }
    };
    const auto inode = [&] {
        struct stat info
        {};
        ::stat(QFile::encodeName(m_drive->native(Index)).constData(), &info);
        return info.st_ino;
    };

    setUp();
    const auto before = inode();
    faults::reset();
    QCOMPARE(files::replaceBytesIfChanged(Index, newContent), replaced);
    const qint64 calls = faults::operationCount();
    QCOMPARE(m_drive->readFile(Index), newContent);
    QCOMPARE(entries(folder), QStringList{u"Index.tbl"_s});
    if (!replaced) {
        QCOMPARE(inode(), before);
        QCOMPARE(files::attributes(Index), System);
    } else if (!oldContent.isEmpty()) {
        QCOMPARE(files::attributes(Index), Archive);
    }

    for (qint64 k = 1; k <= calls; ++k) {
        setUp();
        faults::reset();
        faults::arm(k, EIO);
        try {
            files::replaceBytesIfChanged(Index, newContent);
        } catch (const FileError &error) {
            QCOMPARE(error.errorCode(), EIO);
        }
        const QByteArray content = m_drive->readFile(Index);
        QVERIFY2(content == oldContent || content == newContent,
                 qPrintable(u"fault at call %1 left %2 bytes"_s.arg(k).arg(content.size())));
        QCOMPARE(entries(folder), content.isEmpty() ? QStringList{} : QStringList{u"Index.tbl"_s});
    }

    // A read-only file is refused as replaceBytes refuses it, even when unchanged.
    setUp();
    if (!oldContent.isEmpty()) {
        files::setAttributes(Index, ReadOnly);
        try {
            files::replaceBytesIfChanged(Index, newContent);
            QFAIL("a read-only file was written");
        } catch (const FileError &error) {
            QCOMPARE(error.errorCode(), EACCES);
        }
        QCOMPARE(m_drive->readFile(Index), oldContent);
    }
}

void TestFiles::pathWithNulIsRefused()
{
    try {
        files::replaceBytes(u"c:\\a"_s + QChar(0) + u"b"_s, "x");
        QFAIL("wrote through a path with a NUL");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), EINVAL);
    }
    QCOMPARE(entries(m_drive->root()), QStringList());
}

void TestFiles::listFiles()
{
    const QString notes = u"c:\\Notes"_s;
    QVERIFY_THROWS_EXCEPTION(FileError, files::listFiles(notes));
    files::createFolder(notes);
    QCOMPARE(files::listFiles(notes), QStringList());
    files::replaceBytes(notes + u"\\2.txt"_s, "b");
    files::replaceBytes(notes + u"\\10.txt"_s, "a");
    files::replaceBytes(notes + u"\\.hidden"_s, "h");
    files::replaceBytes(notes + u"\\caf\u00e9.txt"_s, "c");
    files::createFolder(notes + u"\\sub"_s);
    // Files only, hidden ones included, sorted by name; folders are left out.
    QCOMPARE(files::listFiles(notes),
             (QStringList{u".hidden"_s, u"10.txt"_s, u"2.txt"_s, u"caf\u00e9.txt"_s}));
    // A symbolic link counts as what it points to.
    QCOMPARE(
        ::symlink("2.txt", QFile::encodeName(m_drive->native(notes + u"\\link"_s)).constData()), 0);
    QCOMPARE(
        ::symlink("sub", QFile::encodeName(m_drive->native(notes + u"\\dirlink"_s)).constData()),
        0);
    QVERIFY(files::listFiles(notes).contains(u"link"_s));
    QVERIFY(!files::listFiles(notes).contains(u"dirlink"_s));
    // A file is no folder.
    try {
        files::listFiles(notes + u"\\2.txt"_s);
        QFAIL("listed a file");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), ENOTDIR);
    }
    faults::reset();
    faults::arm(1, EIO);
    QVERIFY_THROWS_EXCEPTION(FileError, files::listFiles(notes));
}

void TestFiles::replaceNativeFile()
{
    const QString path = m_drive->root() + u"/export.csv"_s;
    files::replaceNativeFile(path, "one");
    files::replaceNativeFile(path, "two");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("two"));
    QCOMPARE(permissions(path), 0600);
    QCOMPARE(entries(m_drive->root()), QStringList{u"export.csv"_s});
    QVERIFY_THROWS_EXCEPTION(FileError, files::replaceNativeFile(m_drive->root(), "x"));
    QVERIFY_THROWS_EXCEPTION(FileError,
                             files::replaceNativeFile(m_drive->root() + u"/no/x.csv"_s, "x"));
}

void TestFiles::namesInAnyCase_data()
{
    QTest::addColumn<QStringList>("onDisk"); // files made before, with their content's name
    QTest::addColumn<QString>("found");      // the one the program's Index.tbl is
    QTest::newRow("upper case") << QStringList{u"PROGRAM FILES/PELVARIN/INDEX.TBL"_s}
                                << u"PROGRAM FILES/PELVARIN/INDEX.TBL"_s;
    QTest::newRow("lower case") << QStringList{u"program files/pelvarin/index.tbl"_s}
                                << u"program files/pelvarin/index.tbl"_s;
    QTest::newRow("exact spelling first")
        << QStringList{u"Program Files/Pelvarin/INDEX.TBL"_s, u"Program Files/Pelvarin/Index.tbl"_s}
        << u"Program Files/Pelvarin/Index.tbl"_s;
    QTest::newRow("mixed") << QStringList{u"Program Files/pelvarin/Index.TBL"_s}
                           << u"Program Files/pelvarin/Index.TBL"_s;
}

void TestFiles::namesInAnyCase()
{
    QFETCH(QStringList, onDisk);
    QFETCH(QString, found);
    for (const QString &name : onDisk) {
        QVERIFY(QDir().mkpath(QFileInfo(m_drive->root() + u'/' + name).path()));
        QFile file(m_drive->root() + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name.toUtf8());
    }
    forgetNames();
    QVERIFY(files::fileExists(Index));
    QCOMPARE(files::readBytes(Index), found.toUtf8());
    // A write replaces that file and makes no second one beside it.
    const QString folder = QFileInfo(m_drive->root() + u'/' + found).path();
    const QStringList before = entries(folder);
    files::replaceBytes(Index, "new");
    QCOMPARE(entries(folder), before);
    QCOMPARE(m_drive->readFile(found), QByteArray("new"));
    // Once every spelling is removed, a new file gets the program's own.
    for (qsizetype i = 0; i < onDisk.size(); ++i)
        files::deleteFile(Index);
    QVERIFY(!files::fileExists(Index));
    files::replaceBytes(Index, "again");
    QVERIFY(QFile::exists(folder + u"/Index.tbl"_s));
    QCOMPARE(files::readBytes(Index), QByteArray("again"));
}

void TestFiles::linkedFolderIsNotWrittenThrough_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *operation : {"replace", "replace if changed", "append", "write record",
                                  "create folder", "set attributes", "delete", "move"})
        QTest::newRow(operation) << QString::fromLatin1(operation);
}

void TestFiles::linkedFolderIsNotWrittenThrough()
{
    QFETCH(QString, operation);
    const QString outside = m_drive->root() + u"/outside"_s;
    QVERIFY(QDir().mkpath(outside));
    m_drive->writeFile(u"c:\\outside\\Index.tbl"_s, "kept");
    QVERIFY(QDir().mkpath(m_drive->native(u"c:\\Program Files"_s)));
    QVERIFY(QFile::link(outside, m_drive->native(Folder)));
    // Reading through the link is harmless and still works.
    QCOMPARE(files::readBytes(Index), QByteArray("kept"));
    const QStringList before = entries(outside);

    try {
        if (operation == u"replace")
            files::replaceBytes(Index, "x");
        else if (operation == u"replace if changed")
            files::replaceBytesIfChanged(Index, "x");
        else if (operation == u"append")
            files::appendBytes(Data, "x");
        else if (operation == u"write record")
            files::writeRecord(Data, 1, "x");
        else if (operation == u"create folder")
            files::createFolder(Folder + u"\\Contact Notes"_s);
        else if (operation == u"set attributes")
            files::setAttributes(Index, 5);
        else if (operation == u"delete")
            files::deleteFile(Index);
        else
            files::moveFile(Index, Folder + u"\\Moved.tbl"_s);
        QFAIL("written through the link");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), ELOOP);
        QVERIFY2(error.message().contains(u"c:\\Program Files\\Pelvarin is a symbolic link"_s),
                 qPrintable(error.message()));
    }
    QCOMPARE(entries(outside), before);
    QCOMPARE(m_drive->readFile(u"c:\\outside\\Index.tbl"_s), QByteArray("kept"));
    QCOMPARE(permissions(outside + u"/Index.tbl"_s) & 0200, 0200);
}

void TestFiles::fifoIsRefusedWithoutWaiting_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *operation :
         {"read", "read record", "replace", "replace if changed", "append", "write record"})
        QTest::newRow(operation) << QString::fromLatin1(operation);
}

void TestFiles::fifoIsRefusedWithoutWaiting()
{
    QFETCH(QString, operation);
    files::createFolder(u"c:\\Program Files"_s);
    files::createFolder(Folder);
    QVERIFY(::mkfifo(QFile::encodeName(m_drive->native(Data)).constData(), 0600) == 0);
    QVERIFY(!files::fileExists(Data));
    try {
        if (operation == u"read")
            files::readBytes(Data);
        else if (operation == u"read record")
            files::readRecord(Data, 1, 249);
        else if (operation == u"replace")
            files::replaceBytes(Data, "x");
        else if (operation == u"replace if changed")
            files::replaceBytesIfChanged(Data, "x");
        else if (operation == u"append")
            files::appendBytes(Data, "x");
        else
            files::writeRecord(Data, 1, "x");
        QFAIL("a FIFO was taken for a file");
    } catch (const FileError &error) {
        QVERIFY2(error.message().contains(u"Cardomine.Dat: it is a named pipe (FIFO), not a "
                                          u"regular file."_s),
                 qPrintable(error.message()));
    }
    QFileInfo info(m_drive->native(Data));
    QVERIFY(!info.isFile() && info.exists());
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
