// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool check: what it reports, that it changes nothing (bytes, permissions,
// times, extended attributes), and that its forecast matches a real start.
#include "tests/support/foldersnapshot.h"
#include "tests/support/repairtable.h"
#include "tests/tool/toolfixture.h"
#include "tool/check.h"

#include "datastore/contactphotos.h"
#include "datastore/notesfile.h"
#include "mainwindow/frmwork.h"
#include "platform/scriptedmessages.h"
#include "startup/mainwindowload.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;

namespace {

void allowWrite(const TempDrive &drive, const QString &programPath)
{
    const QByteArray native = QFile::encodeName(drive.native(programPath));
    struct stat info
    {};
    QCOMPARE(::stat(native.constData(), &info), 0);
    QCOMPARE(::chmod(native.constData(), info.st_mode | S_IWUSR), 0);
}

enum class Change
{
    None,
    IndexWritable,
    DataWritable,
    IndexMissing,
    DataMissing,
    BothWritable,
    BothTouched, // the time changed, the content did not
    DataChanged  // one byte changed, the size and time as before
};

void apply(const TempDrive &drive, Change change)
{
    switch (change) {
    case Change::None:
        break;
    case Change::IndexWritable:
        allowWrite(drive, paths::IndexFile);
        break;
    case Change::DataWritable:
        allowWrite(drive, paths::DataFile);
        break;
    case Change::BothWritable:
        allowWrite(drive, paths::IndexFile);
        allowWrite(drive, paths::DataFile);
        break;
    case Change::IndexMissing:
        QVERIFY(QFile::remove(drive.native(paths::IndexFile)));
        break;
    case Change::DataMissing:
        QVERIFY(QFile::remove(drive.native(paths::DataFile)));
        break;
    case Change::BothTouched:
    case Change::DataChanged:
        for (const QString &path : {paths::IndexFile, paths::DataFile}) {
            const QByteArray native = QFile::encodeName(drive.native(path));
            if (change == Change::DataChanged && path == paths::DataFile) {
                QByteArray bytes = drive.readFile(path);
                bytes[10] = char(bytes[10] ^ 1);
                QCOMPARE(::chmod(native.constData(), 0600), 0);
                drive.writeFile(path, bytes);
                QCOMPARE(::chmod(native.constData(), 0400), 0);
            }
            const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
        }
        break;
    }
}

} // namespace

class TestToolCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void reportsAndChangesNothing_data();
    void reportsAndChangesNothing();
    void forecastMatchesStart_data();
    void forecastMatchesStart();
    void forecastIsTheStartsSteps_data();
    void forecastIsTheStartsSteps();
    void contentFindings();
    void numbersAcrossALongDataFile();
    void missingAndUnreadableFolder();

private:
    std::unique_ptr<TempDrive> m_drive;
};

void TestToolCheck::init()
{
    m_drive = std::make_unique<TempDrive>();
    QVERIFY(m_drive->isValid());
    CurrentRecord = ContactRecord();
    IndexLines.clear();
}

void TestToolCheck::cleanup()
{
    m_drive.reset();
}

void TestToolCheck::reportsAndChangesNothing_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("reported");

    QTest::newRow("healthy") << int(Change::None) << 0
                             << QStringList{u"Index.tbl: attributes 5 (read-only, system), "
                                            u"seal holds"_s,
                                            u"Cardomine.Dat: attributes 7 (read-only, hidden, "
                                            u"system), seal holds"_s,
                                            u"The next start would change nothing."_s};
    QTest::newRow("index lost its read-only bit")
        << int(Change::IndexWritable) << 1
        << QStringList{u"Index.tbl: attributes 4 (system), seal broken (should be 5"_s,
                       u"move Index.tbl to Recovered/"_s, u"move Cardomine.Dat to Recovered/"_s};
    QTest::newRow("data file lost its read-only bit")
        << int(Change::DataWritable) << 1
        << QStringList{u"Cardomine.Dat: attributes 6 (hidden, system), seal broken"_s,
                       u"move Cardomine.Dat to Recovered/"_s};
    QTest::newRow("index missing")
        << int(Change::IndexMissing) << 1
        << QStringList{u"Index.tbl: missing"_s, u"create Index.tbl with a record count of 3"_s};
}

void TestToolCheck::reportsAndChangesNothing()
{
    QFETCH(int, change);
    QFETCH(int, exitCode);
    QFETCH(QStringList, reported);
    makeToolStore(*m_drive, u"R"_s);
    apply(*m_drive, Change(change));

    const QStringList before = folderSnapshot(m_drive->root());
    const ToolRun run = runTool(*m_drive, {u"check"_s});
    QCOMPARE(run.exitCode, exitCode);
    for (const QString &text : reported)
        QVERIFY2(run.out.contains(text.toUtf8()),
                 QByteArray((text + u" not in:\n"_s).toUtf8() + run.out).constData());
    QCOMPARE(folderSnapshot(m_drive->root()), before);
}

void TestToolCheck::forecastMatchesStart_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QStringList>("titles");
    const QString m1 = u"File Creation Notice!"_s;
    const QString m2 = u"File Corruption Notice!"_s;
    const QString m3 = u"Be Careful!"_s;
    const QString m4 = u"File Update Completed!"_s;
    const QString m5 = u"File Update Will Occur Now. . ."_s;
    // The order of the start-up's messages for each state of the two files.
    QTest::newRow("normal start") << int(Change::None) << QStringList();
    QTest::newRow("index missing") << int(Change::IndexMissing) << QStringList{m1};
    QTest::newRow("data missing") << int(Change::DataMissing) << QStringList{m4};
    QTest::newRow("index altered")
        << int(Change::IndexWritable) << QStringList{m2, m3, m1, m5, m2, m3, m1, m4};
    QTest::newRow("data altered") << int(Change::DataWritable) << QStringList{m5, m2, m3, m1, m4};
    QTest::newRow("both altered") << int(Change::BothWritable)
                                  << QStringList{m2, m3, m1, m5, m2, m3, m1, m4};
    QTest::newRow("both touched") << int(Change::BothTouched) << QStringList();
    QTest::newRow("data changed, both touched")
        << int(Change::DataChanged) << QStringList{m5, m2, m3, m1, m4};
}

void TestToolCheck::forecastMatchesStart()
{
    QFETCH(int, change);
    QFETCH(QStringList, titles);
    makeToolStore(*m_drive, u"R"_s);
    apply(*m_drive, Change(change));

    const tool::CheckReport report = tool::checkDataFolder();
    QCOMPARE(report.messageTitles, titles);
    QCOMPARE(report.startWouldChange, !titles.isEmpty());

    platform::ScriptedMessageService messages;
    platform::setMessageService(&messages);
    {
        FrmWork window;
        QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    }
    platform::setMessageService(nullptr);
    QStringList shown;
    for (const platform::MessageBox &box : messages.shown())
        shown.append(box.title);
    QCOMPARE(shown.mid(2), titles); // after the two About boxes

    // After that start, the check finds nothing left to do.
    QCOMPARE(tool::checkDataFolder().startActions, QStringList());
}

void TestToolCheck::forecastIsTheStartsSteps_data()
{
    testing::repairtable::addRows();
}

// For every state of the start-up's repair table, kills while browsing or saving
// included, check foretells the very steps and boxes the start then performs.
void TestToolCheck::forecastIsTheStartsSteps()
{
    using namespace testing::repairtable;
    QFETCH(FileState, index);
    QFETCH(FileState, data);
    QFETCH(QList<platform::MessageBox>, messages);
    QFETCH(Interrupted, interrupted);
    layOut(*m_drive, index, data, interrupted);

    const tool::CheckReport report = tool::checkDataFolder();
    QStringList boxes;
    for (const platform::MessageBox &box : messages)
        boxes.append(box.title);
    QCOMPARE(report.messageTitles, boxes);

    platform::ScriptedMessageService shown;
    platform::setMessageService(&shown);
    QList<repairplan::Step> performed;
    {
        FrmWork window;
        QCOMPARE(startup::loadMainWindow(window, &performed), startup::LoadResult::Ready);
    }
    platform::setMessageService(nullptr);

    const auto lines = [](const QList<repairplan::Step> &steps) {
        QStringList out;
        for (const repairplan::Step &step : steps)
            out.append(repairplan::describe(step));
        return out;
    };
    QCOMPARE(lines(report.plan.steps), lines(performed));
    QCOMPARE(report.plan.steps, performed);
    QList<platform::MessageBox> foretold;
    for (const repairplan::Notice &notice : report.plan.notices())
        foretold.append({notice.title, notice.text,
                         notice.icon == repairplan::NoticeIcon::Critical
                             ? platform::MessageIcon::Critical
                             : platform::MessageIcon::Information,
                         platform::MessageButtons::Ok});
    QCOMPARE(shown.shown().mid(2), foretold); // after the two About boxes
    QCOMPARE(foretold, messages);
    QCOMPARE(tool::checkDataFolder().startActions, QStringList());
}

void TestToolCheck::contentFindings()
{
    makeToolStore(*m_drive, u"R"_s);
    // A notes file nobody owns, and a record stored under the wrong number.
    m_drive->writeFile(notes::pathFor(9), "stray\r\n");
    m_drive->writeFile(paths::NotesFolder + u"\\readme.md"_s, "x");
    // Photo files: contact 1's, and one of a number no record holds.
    const QString photo = photos::valueName(u"photo"_s, "jpeg bytes", u"jpeg"_s);
    files::createFolder(paths::PhotosFolder);
    m_drive->writeFile(photos::pathFor(1, photo), "jpeg bytes");
    m_drive->writeFile(photos::pathFor(9, photo), "jpeg bytes");
    files::setAttributes(paths::DataFile, 0);
    ContactRecord moved;
    moved.setFromRandomBytes(files::readRecord(paths::DataFile, 2, ContactRecord::Length));
    moved.ContactID = u"5"_s;
    files::writeRecord(paths::DataFile, 2, moved.toRandomBytes());
    files::setAttributes(paths::DataFile, 7);

    const ToolRun run = runTool(*m_drive, {u"check"_s});
    QCOMPARE(run.exitCode, 0); // the start itself would not mind
    QVERIFY2(run.out.contains("Record count: 3 (random form); the data file is 747 bytes, 3 "
                              "whole records\n"),
             run.out.constData());
    QVERIFY2(run.out.contains("Records whose number does not match their position: 2 (number "
                              "\"5\")\n"),
             run.out.constData());
    // 2.txt lost its record (contact 2 now says 5); 9.txt and readme.md never had one.
    QVERIFY2(run.out.contains("Notes files with no record: 2.txt, 9.txt, readme.md\n"),
             run.out.constData());
    QVERIFY2(run.out.contains("Contact Photos folder: 2 photo files\n"), run.out.constData());
    QVERIFY2(run.out.contains(
                 (u"Photo files with no record: "_s + photos::fileName(9, photo) + u'\n').toUtf8()),
             run.out.constData());

    // A count line that is no number stops the start.
    files::setAttributes(paths::IndexFile, 0);
    m_drive->writeFile(paths::IndexFile, "Num_Of_Types=1\r\nData_Type=Contacts\r\n"
                                         "Num_Of_Records=x\r\nFile_Type=R\r\n");
    files::setAttributes(paths::IndexFile, 5);
    const ToolRun broken = runTool(*m_drive, {u"check"_s});
    QCOMPARE(broken.exitCode, 1);
    QVERIFY2(broken.out.contains("stop with \"Cardomine Cannot Start\""), broken.out.constData());
}

// More records than one read brings in: every record is looked at once, in its place.
void TestToolCheck::numbersAcrossALongDataFile()
{
    makeToolStore(*m_drive, u"R"_s);
    QByteArray data;
    for (int n = 1; n <= 700; ++n) {
        ContactRecord record;
        record.ContactID = QString::number(n == 257 ? 7 : n);
        data += record.toRandomBytes();
    }
    files::setAttributes(paths::DataFile, 0);
    files::setAttributes(paths::IndexFile, 0);
    m_drive->writeFile(paths::DataFile, data + "Half a record");
    m_drive->writeFile(paths::IndexFile, "Num_Of_Types=1\r\nData_Type=Contacts\r\n"
                                         "Num_Of_Records=700\r\nFile_Type=R\r\n");
    files::setAttributes(paths::DataFile, 7);
    files::setAttributes(paths::IndexFile, 5);
    m_drive->writeFile(notes::pathFor(700), "last\r\n");

    const ToolRun run = runTool(*m_drive, {u"check"_s});
    QVERIFY2(run.out.contains("Records whose number does not match their position: 257 (number "
                              "\"7\")\n"),
             run.out.constData());
    QVERIFY2(run.out.contains("Notes files with no record: none\n"), run.out.constData());
    QVERIFY2(run.out.contains("and 13 bytes over"), run.out.constData());
}

void TestToolCheck::missingAndUnreadableFolder()
{
    const ToolRun missing = runTool(*m_drive, {u"check"_s});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.out.contains("Data folder: missing"));
    QVERIFY(missing.out.contains("create the folders Pelvarin and Contact Notes"));
    QVERIFY(!QFile::exists(m_drive->native(paths::DataFolder)));

    makeToolStore(*m_drive, u"R"_s);
    const QByteArray folder = QFile::encodeName(m_drive->native(paths::DataFolder));
    QCOMPARE(::chmod(folder.constData(), 0), 0);
    if (::geteuid() == 0) {
        // root reads through permission bits; nothing to see there.
        QCOMPARE(::chmod(folder.constData(), 0700), 0);
        QSKIP("running as root: permission bits do not stop reading");
    }
    const ToolRun unreadable = runTool(*m_drive, {u"check"_s});
    const ToolRun unexported = runTool(*m_drive, {u"export"_s, u"--format"_s, u"csv"_s});
    QCOMPARE(::chmod(folder.constData(), 0700), 0);
    QCOMPARE(unreadable.exitCode, 1);
    QVERIFY2(unreadable.err.contains("Permission denied"), unreadable.err.constData());
    QCOMPARE(unexported.exitCode, 1);
    QVERIFY2(unexported.err.contains("Permission denied"), unexported.err.constData());
}

QTEST_MAIN(TestToolCheck)
#include "tst_toolcheck.moc"
