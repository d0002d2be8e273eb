// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's first load against real files in a temporary drive root, with the
// message boxes answered and recorded by the scripted service.

#include "datastore/contactphotos.h"
#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "mainwindow/about.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/lockablecombobox.h"
#include "platform/fileattributes.h"
#include "platform/files.h"
#include "platform/scriptedmessages.h"
#include "platform/textcodec.h"
#include "startup/mainwindowload.h"
#include "tests/support/repairtable.h"
#include "tests/support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <sys/stat.h>

using namespace cardomine;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;
namespace files = platform::files;
using namespace cardomine::testing::repairtable;

namespace {

QList<MessageBox> aboutBoxes()
{
    return {MessageBox{about::creditsTitle(), about::creditsText(), MessageIcon::Information,
                       MessageButtons::Ok},
            MessageBox{about::donationsTitle(), about::donationsText(), MessageIcon::Information,
                       MessageButtons::Ok}};
}

QStringList describeAll(const QList<MessageBox> &boxes)
{
    QStringList out;
    for (const MessageBox &box : boxes)
        out.append(platform::describe(box));
    return out;
}

QByteArray sampleNotesBytes()
{
    return platform::text::joinLines(notes::sampleLines());
}

QList<QByteArray> recoveredContents(const testing::TempDrive &drive)
{
    QList<QByteArray> contents;
    QDir dir(drive.native(paths::RecoveredFolder));
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            contents.append(f.readAll());
    }
    return contents;
}

} // namespace

class TestMainWindowLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void repairTable_data();
    void repairTable();
    void firstRunShowsSampleContact();
    void secondStartShowsOnlyAbout();
    void missingNotesFileGivesEmptyNotes();
    void countSetsScrollBarMaximum();
    void sequentialFileShowsFirstTwelveLines();
    void typeListHoldsEachTypeOnce();
    void dataFolderWithoutNotesFolder();
    void indexWithoutFileTypeReadsRandom();
    void startFailures_data();
    void startFailures();
    void markerLeavesSealedFilesAlone();
    void interruptedNotesSave_data();
    void interruptedNotesSave();

private:
    platform::ScriptedMessageService m_messages;
};

void TestMainWindowLoad::init()
{
    m_messages.clear();
    platform::setMessageService(&m_messages);
    CurrentRecord = ContactRecord();
    IndexLines.clear();
}

void TestMainWindowLoad::cleanup()
{
    platform::setMessageService(nullptr);
    QVERIFY2(m_messages.unexpected().isEmpty(), qPrintable(m_messages.unexpected().join(u'\n')));
}

void TestMainWindowLoad::repairTable_data()
{
    addRows();
}

void TestMainWindowLoad::repairTable()
{
    QFETCH(FileState, index);
    QFETCH(FileState, data);
    QFETCH(QList<MessageBox>, messages);
    QFETCH(bool, rebuilt);
    QFETCH(Interrupted, interrupted);

    testing::TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));

    const Layout layout = layOut(drive, index, data, interrupted);
    // Bea's photo, which goes wherever her notes go.
    const QByteArray photo = QByteArrayLiteral("\x89PNG photo of Bea");
    const QString photoPath = photos::pathFor(
        2, photos::valueName(QStringLiteral("photo"), photo, QStringLiteral("png")));
    if (layout.existing) {
        QDir().mkpath(drive.native(paths::PhotosFolder));
        drive.writeFile(photoPath, photo);
    }
    const QByteArray &oldData = layout.oldData;
    const QByteArray &oldNotes = layout.oldNotes;
    const bool existing = layout.existing;
    const QString marker = drive.native(pendingwork::markerPath());
    // What the start finds, and what a repair must keep.
    const QByteArray indexAtStart = drive.readFile(paths::IndexFile);
    const QByteArray dataAtStart = drive.readFile(paths::DataFile);

    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QVERIFY(!QFile::exists(marker));

    QCOMPARE(describeAll(m_messages.shown()), describeAll(aboutBoxes() + messages));
    QCOMPARE(files::attributes(paths::IndexFile), 5);
    QCOMPARE(files::attributes(paths::DataFile), 7);
    // A rebuild sets aside the notes of every record it sets aside.
    QCOMPARE(drive.readFile(notes::pathFor(2)).isEmpty(),
             !existing || (rebuilt && data != FileState::Missing));
    QCOMPARE(files::fileExists(photoPath), existing && !(rebuilt && data != FileState::Missing));

    const QList<QByteArray> recovered = recoveredContents(drive);
    if (rebuilt) {
        QCOMPARE(drive.readFile(paths::IndexFile), createdIndexBytes());
        QCOMPARE(drive.readFile(paths::DataFile), sampleContact().toRandomBytes());
        QCOMPARE(drive.readFile(notes::pathFor(1)), sampleNotesBytes());
        // Whatever the repair replaced is kept, byte for byte.
        if (index != FileState::Missing)
            QVERIFY(recovered.contains(indexAtStart));
        if (data != FileState::Missing)
            QVERIFY(recovered.contains(dataAtStart));
        // The sample notes do not overwrite the notes the user had for contact 1.
        if (existing)
            QVERIFY(recovered.contains(oldNotes));
        if (data != FileState::Missing)
            QVERIFY(recovered.contains(QByteArrayLiteral("Notes of Bea\r\n")));
        if (data != FileState::Missing)
            QVERIFY(recovered.contains(photo));
    } else {
        // Only a rebuilt data file's sample notes set the user's notes of contact 1
        // aside.
        QCOMPARE(recovered, data == FileState::Missing && existing ? QList<QByteArray>{oldNotes}
                                                                   : QList<QByteArray>{});
        // An index recreated beside a sealed data file counts its records.
        QCOMPARE(drive.readFile(paths::IndexFile), index != FileState::Missing ? indexAtStart
                                                   : data == FileState::Sealed
                                                       ? indexBytes(3)
                                                       : createdIndexBytes());
        if (data == FileState::Missing) {
            QCOMPARE(drive.readFile(paths::DataFile), sampleContact().toRandomBytes());
            QCOMPARE(drive.readFile(notes::pathFor(1)), sampleNotesBytes());
        } else {
            const bool torn =
                interrupted == Interrupted::RecordTorn || interrupted == Interrupted::AppendTorn;
            QCOMPARE(drive.readFile(paths::DataFile), torn ? oldData : dataAtStart);
            QCOMPARE(drive.readFile(notes::pathFor(1)), oldNotes);
        }
    }
    QVERIFY(window.isVisible());
    QCOMPARE(window.ScrollBar->value(), 1);
    QCOMPARE(window.cboCustomer->count(), 1);
    QCOMPARE(window.statusText(), QStringLiteral("Ready.  Option Selected: View"));
}

void TestMainWindowLoad::firstRunShowsSampleContact()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);

    QCOMPARE(window.fname->text(), QStringLiteral("Tobin     "));
    QCOMPARE(window.lname->text(), QStringLiteral("Marrack").leftJustified(20));
    QCOMPARE(window.city->text(), QStringLiteral("Long Island City").leftJustified(30));
    QCOMPARE(window.ID->text(), QStringLiteral("1     "));
    QCOMPARE(window.pagermobile->text(), QString(12, u' '));
    QCOMPARE(window.fax->text(), QStringLiteral("800.555.0199").leftJustified(30));
    QCOMPARE(window.notes->toPlainText(), notes::sampleLines().join(u'\n'));
    QCOMPARE(window.cboCustomer->currentText(), QStringLiteral("Contacts"));
    QCOMPARE(window.ScrollBar->maximum(), 1);
    QCOMPARE(window.ScrollBar->minimum(), 1);
    // The load changes no lock state.
    QVERIFY(window.fname->isReadOnly());
    QVERIFY(!window.fax->isReadOnly());
    QVERIFY(window.notes->isReadOnly());
    QCOMPARE(CurrentRecord, sampleContact());
    QCOMPARE(IndexLines.highestEntry(), 3);
    QCOMPARE(IndexLines.entry(2), QStringLiteral("Num_Of_Records=1"));
}

void TestMainWindowLoad::secondStartShowsOnlyAbout()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    {
        FrmWork first;
        QCOMPARE(startup::loadMainWindow(first), startup::LoadResult::Ready);
    }
    const QByteArray index = drive.readFile(paths::IndexFile);
    const QByteArray data = drive.readFile(paths::DataFile);
    m_messages.clear();
    IndexLines.clear();

    FrmWork second;
    QCOMPARE(startup::loadMainWindow(second), startup::LoadResult::Ready);
    QCOMPARE(describeAll(m_messages.shown()), describeAll(aboutBoxes()));
    QCOMPARE(second.fname->text(), QStringLiteral("Tobin     "));
    QCOMPARE(drive.readFile(paths::IndexFile), index);
    QCOMPARE(drive.readFile(paths::DataFile), data);
}

void TestMainWindowLoad::missingNotesFileGivesEmptyNotes()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    {
        FrmWork first;
        QCOMPARE(startup::loadMainWindow(first), startup::LoadResult::Ready);
    }
    QVERIFY(QFile::remove(drive.native(notes::pathFor(1))));
    FrmWork second;
    QCOMPARE(startup::loadMainWindow(second), startup::LoadResult::Ready);
    QCOMPARE(second.notes->toPlainText(), QString());
    QVERIFY(!QFile::exists(drive.native(notes::pathFor(1))));
}

void TestMainWindowLoad::countSetsScrollBarMaximum()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    prepare(drive, paths::IndexFile, indexBytes(12), 5, FileState::Sealed);
    prepare(drive, paths::DataFile, threeRecords(), 7, FileState::Sealed);
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(window.ScrollBar->maximum(), 12);
    QCOMPARE(window.ScrollBar->value(), 1);
    QCOMPARE(window.fname->text(), QStringLiteral("Ada       "));
}

void TestMainWindowLoad::sequentialFileShowsFirstTwelveLines()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    const QStringList lines = {
        QStringLiteral("Quinn"),    QStringLiteral("Sequent"),       QStringLiteral("Lines Ltd"),
        QStringLiteral("1 Row St"), QStringLiteral("Lineville"),     QStringLiteral("OR"),
        QStringLiteral("4"),        QStringLiteral("555.000.0001"),  QStringLiteral("555.000.0002"),
        QStringLiteral(""),         QStringLiteral("q@example.org"), QStringLiteral("97201"),
        QStringLiteral("Second"),   QStringLiteral("Record")};
    prepare(drive, paths::IndexFile, indexBytes(4, "S"), 5, FileState::Sealed);
    prepare(drive, paths::DataFile, platform::text::joinLines(lines), 7, FileState::Sealed);
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(window.fname->text(), QStringLiteral("Quinn").leftJustified(10));
    QCOMPARE(window.ID->text(), QStringLiteral("4").leftJustified(6));
    QCOMPARE(window.fax->text(), QStringLiteral("q@example.org").leftJustified(30));
    QCOMPARE(window.zip->text(), QStringLiteral("97201"));
    // DataType is not stored in this form: it keeps the sample contact's.
    QCOMPARE(CurrentRecord.DataType.text(), QStringLiteral("Contacts").leftJustified(20));
}

void TestMainWindowLoad::typeListHoldsEachTypeOnce()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    prepare(drive, paths::IndexFile, indexBytes(3), 5, FileState::Archived);
    prepare(drive, paths::DataFile, threeRecords(), 7, FileState::Sealed);
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(window.cboCustomer->count(), 1);
    QCOMPARE(window.cboCustomer->itemText(0), QStringLiteral("Contacts"));
}

void TestMainWindowLoad::dataFolderWithoutNotesFolder()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    QVERIFY(QDir().mkpath(drive.native(paths::DataFolder)));
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(describeAll(m_messages.shown()),
             describeAll(aboutBoxes() + QList<MessageBox>{IndexCreatedBox, DataFileCreatedBox}));
    QCOMPARE(drive.readFile(notes::pathFor(1)), sampleNotesBytes());
}

void TestMainWindowLoad::indexWithoutFileTypeReadsRandom()
{
    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    prepare(drive, paths::IndexFile,
            QByteArrayLiteral("Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=3\r\n"), 5,
            FileState::Sealed);
    prepare(drive, paths::DataFile, threeRecords(), 7, FileState::Sealed);
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(window.fname->text(), QStringLiteral("Ada       "));
    QCOMPARE(window.ScrollBar->maximum(), 3);
}

void TestMainWindowLoad::startFailures_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("sequential file of three lines")
        << indexBytes(1, "S") << QByteArray("a\r\nb\r\nc\r\n") << QStringLiteral("Cardomine.Dat");
    QTest::newRow("count is not a number")
        << QByteArray(
               "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=many\r\nFile_Type=R\r\n")
        << threeRecords() << QStringLiteral("Index.tbl");
    QTest::newRow("count above 32767")
        << indexBytes(40000) << threeRecords() << QStringLiteral("Index.tbl");
}

void TestMainWindowLoad::startFailures()
{
    QFETCH(QByteArray, index);
    QFETCH(QByteArray, data);
    QFETCH(QString, reasonPart);

    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    prepare(drive, paths::IndexFile, index, 5, FileState::Sealed);
    prepare(drive, paths::DataFile, data, 7, FileState::Sealed);
    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Exit);
    QVERIFY(!window.isVisible());
    const QList<MessageBox> shown = m_messages.shown();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.last().title, QStringLiteral("Cardomine Cannot Start"));
    QCOMPARE(shown.last().icon, MessageIcon::Critical);
    QVERIFY2(shown.last().text.contains(reasonPart), qPrintable(shown.last().text));
    // A start that gives up changes nothing.
    QCOMPARE(drive.readFile(paths::IndexFile), index);
    QCOMPARE(drive.readFile(paths::DataFile), data);
}

// Work cut short after it sealed the files again: the start changes nothing about
// them, so files it may read but not change (another user's) do not stop it.
void TestMainWindowLoad::markerLeavesSealedFilesAlone()
{
    testing::TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    const QByteArray index = indexBytes(3);
    const QByteArray data = threeRecords();
    prepare(drive, paths::IndexFile, index, 5, FileState::Sealed);
    prepare(drive, paths::DataFile, data, 7, FileState::Sealed);
    pendingwork::Expected expected;
    expected.dataSizes = {data.size()};
    expected.indexVersions = {index};
    pendingwork::begin(expected);

    const auto changeTimes = [&] {
        QList<qint64> times;
        for (const QString &path : {paths::IndexFile, paths::DataFile}) {
            struct stat info
            {};
            times.append(::stat(QFile::encodeName(drive.native(path)).constData(), &info) == 0
                             ? qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec
                             : -1);
        }
        return times;
    };
    const QList<qint64> before = changeTimes();
    QVERIFY(!before.contains(-1));
    QTest::qWait(20); // a change would show as a later status change time

    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(changeTimes(), before);
    QVERIFY(!QFile::exists(drive.native(pendingwork::markerPath())));
    QCOMPARE(describeAll(m_messages.shown()), describeAll(aboutBoxes()));
}

void TestMainWindowLoad::interruptedNotesSave_data()
{
    QTest::addColumn<bool>("recordSaved");
    QTest::addColumn<QByteArray>("saved");     // the notes file the save writes
    QTest::addColumn<QByteArray>("notesFile"); // contact 1's notes file at the kill
    QTest::addColumn<QByteArray>("waiting");   // the ".1.txt.tmp-" file beside it (null: none)
    QTest::addColumn<QByteArray>("shown");     // the notes file after the next start

    const QByteArray oldNotes = "Notes of 1\r\n";
    const QByteArray newNotes = "New notes of 1\r\n";
    QTest::newRow("killed while the new notes were written")
        << false << newNotes << oldNotes << QByteArray("New no") << oldNotes;
    QTest::newRow("killed before the record was written")
        << false << newNotes << oldNotes << newNotes << oldNotes;
    QTest::newRow("killed after the record, before the notes")
        << true << newNotes << oldNotes << newNotes << newNotes;
    QTest::newRow("killed after the record and the notes")
        << true << newNotes << newNotes << QByteArray() << newNotes;
    QTest::newRow("notes emptied, killed after the record")
        << true << QByteArray("") << oldNotes << QByteArray("") << QByteArray("");
}

// A kill during Save Edit of record 1 and its notes: the next start shows the old
// record with the old notes or the new record with the new notes, and keeps every
// temporary notes file (this save's and an older one's) in Recovered/ or in place.
void TestMainWindowLoad::interruptedNotesSave()
{
    QFETCH(bool, recordSaved);
    QFETCH(QByteArray, saved);
    QFETCH(QByteArray, notesFile);
    QFETCH(QByteArray, waiting);
    QFETCH(QByteArray, shown);

    testing::TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    const QByteArray index = indexBytes(3);
    const QByteArray data = threeRecords();
    ContactRecord edited;
    edited.setFromRandomBytes(data.left(ContactRecord::Length));
    edited.LastName = QStringLiteral("Edited");
    const QByteArray newRecord = edited.toRandomBytes();
    QByteArray dataNow = data;
    if (recordSaved)
        dataNow.replace(0, ContactRecord::Length, newRecord);
    prepare(drive, paths::IndexFile, index, 5, FileState::Sealed);
    prepare(drive, paths::DataFile, dataNow, 7, FileState::Sealed);
    drive.writeFile(notes::pathFor(1), notesFile);
    if (!waiting.isNull())
        drive.writeFile(paths::NotesFolder + QStringLiteral("\\.1.txt.tmp-AbC123"), waiting);
    drive.writeFile(paths::NotesFolder + QStringLiteral("\\.3.txt.tmp-Old999"), "Older typing");
    pendingwork::Expected expected;
    expected.dataSizes = {data.size(), data.size()};
    expected.recordNumber = 1;
    expected.records = {data.left(ContactRecord::Length), newRecord};
    expected.indexVersions = {index};
    expected.notes = pendingwork::Expected::Notes{QStringLiteral("1.txt"), notes::digestOf(saved)};
    pendingwork::begin(expected);

    FrmWork window;
    QCOMPARE(startup::loadMainWindow(window), startup::LoadResult::Ready);
    QCOMPARE(describeAll(m_messages.shown()), describeAll(aboutBoxes()));
    QCOMPARE(window.lname->text().startsWith(QStringLiteral("Edited")), recordSaved);
    QCOMPARE(drive.readFile(notes::pathFor(1)), shown);
    QCOMPARE(window.notesText(), QString::fromLatin1(shown.chopped(shown.isEmpty() ? 0 : 2)));
    QVERIFY(!QFile::exists(drive.native(pendingwork::markerPath())));
    const QDir notesFolder(drive.native(paths::NotesFolder));
    QCOMPARE(notesFolder.entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
             QStringList());
    QList<QByteArray> kept = {"Older typing"};
    if (!recordSaved && !waiting.isNull())
        kept.append(waiting);
    QList<QByteArray> recovered = recoveredContents(drive);
    std::sort(recovered.begin(), recovered.end());
    std::sort(kept.begin(), kept.end());
    QCOMPARE(recovered, kept);
}

QTEST_MAIN(TestMainWindowLoad)
#include "tst_mainwindowload.moc"
