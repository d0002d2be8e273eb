// The main window's first load against real files in a temporary drive root, with the
// message boxes answered and recorded by the scripted service.

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

namespace {

enum class FileState
{
    Missing,
    Sealed,
    Archived,
    Writable,
    Unsealed // set to normal by a record routine that was cut short
};

// A record routine (an edit of record 2) was cut short, its pending-work marker left
// beside the files, and then something else happened to the files or the marker.
enum class Interrupted
{
    No,
    Untouched,     // the files are as the marker names them
    DataGrew,      // the data file's size is not one it names
    RecordChanged, // record 2 is neither its old nor its new version
    RecordTorn,    // record 2's write was cut short: part new, part old
    AppendTorn,    // a new record 4 was cut short, and the failed save sealed the file again
    IndexChanged,  // the index is not a version it names
    MarkerGarbled,
    MarkerTruncated,
    ReadUntouched,    // a read of a record was cut short instead, the files as it left them
    ReadFinished,     // the read had finished: its spent marker names nothing
    ReadIndexChanged, // a read was cut short, and the index file changed since
    ReadDataChanged   // a read was cut short, and the data file was written since
};

const MessageBox M1{QStringLiteral("File Creation Notice!"),
                    QStringLiteral("INDEX.TBL has been created!"), MessageIcon::Information,
                    MessageButtons::Ok};
const MessageBox M2{
    QStringLiteral("File Corruption Notice!"),
    QStringLiteral("The INDEX.TBL file was corrupted and will now be deleted and then recreated by "
                   "Cardomine!"),
    MessageIcon::Critical, MessageButtons::Ok};
const MessageBox M3{QStringLiteral("Be Careful!"),
                    QStringLiteral("It is in your best interest while using this program not to "
                                   "alter the INDEX.TBL file.\rDoing so will result in LOST "
                                   "INFORMATION!!"),
                    MessageIcon::Information, MessageButtons::Ok};
const MessageBox M4{QStringLiteral("File Update Completed!"),
                    QStringLiteral("Data File Has Been Updated!"), MessageIcon::Information,
                    MessageButtons::Ok};
const MessageBox M5{QStringLiteral("File Update Will Occur Now. . ."),
                    QStringLiteral("The Data file will now be updated to correspond with the "
                                   "information in the INDEX file. . ."),
                    MessageIcon::Information, MessageButtons::Ok};

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

QByteArray createdIndexBytes()
{
    return QByteArrayLiteral("Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=1\r\n"
                             "File_Type=R\r\n");
}

QByteArray indexBytes(int count, const QByteArray &fileType = "R")
{
    return "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=" + QByteArray::number(count) +
           "\r\nFile_Type=" + fileType + "\r\n";
}

QByteArray recordBytes(int id, const QString &firstName)
{
    ContactRecord r;
    r.FirstName = firstName;
    r.LastName = QStringLiteral("Testperson");
    r.ContactID = QString::number(id);
    r.DataType = QStringLiteral("Contacts");
    return r.toRandomBytes();
}

QByteArray threeRecords()
{
    return recordBytes(1, QStringLiteral("Ada")) + recordBytes(2, QStringLiteral("Bea")) +
           recordBytes(3, QStringLiteral("Cy"));
}

QByteArray sampleNotesBytes()
{
    return platform::text::joinLines(notes::sampleLines());
}

// Writes a file with the given bytes, then gives it the state asked for.
void prepare(const testing::TempDrive &drive, const QString &path, const QByteArray &bytes,
             int seal, FileState state)
{
    if (state == FileState::Missing)
        return;
    drive.writeFile(path, bytes);
    files::setAttributes(path, state == FileState::Unsealed ? platform::Normal : seal);
    if (state == FileState::Archived) {
        // Another program changes a byte and keeps the size: only the archive bit
        // tells. (Rewriting the same bytes keeps the seal: the content is unchanged.)
        QByteArray changed = bytes;
        changed.back() = char(changed.back() ^ 1);
        QFile::setPermissions(drive.native(path), QFile::ReadOwner | QFile::WriteOwner);
        drive.writeFile(path, changed);
        QFile::setPermissions(drive.native(path), QFile::ReadOwner);
    } else if (state == FileState::Writable) {
        QFile::setPermissions(drive.native(path), QFile::ReadOwner | QFile::WriteOwner);
    }
}

// Leaves the marker an edit of record 2 writes before it sets the data file to
// normal, as if the program had been cut short there, then lets something else
// happen: to the files, or to the marker.
void interruptEditOfRecord2(const testing::TempDrive &drive, const QByteArray &data,
                            const QByteArray &index, Interrupted what)
{
    if (what == Interrupted::ReadUntouched || what == Interrupted::ReadFinished ||
        what == Interrupted::ReadIndexChanged || what == Interrupted::ReadDataChanged) {
        pendingwork::beginReading(pendingwork::Expected());
        if (what == Interrupted::ReadFinished)
            pendingwork::endReading();
        if (what == Interrupted::ReadIndexChanged)
            drive.writeFile(paths::IndexFile, indexBytes(5));
        if (what == Interrupted::ReadDataChanged) {
            // Same length, other content: only the attributes can tell.
            QByteArray changed = data;
            changed.replace(0, 5, "99999");
            QTest::qSleep(20); // past the file system's clock step, so the time changes
            drive.writeFile(paths::DataFile, changed);
        }
        return;
    }
    constexpr int Length = ContactRecord::Length;
    pendingwork::Expected expected;
    const int number = what == Interrupted::AppendTorn ? 4 : 2;
    expected.dataSizes = {data.size(), std::max<qsizetype>(data.size(), number * Length)};
    expected.recordNumber = number;
    const QByteArray newRecord = recordBytes(number, QStringLiteral("Edited"));
    expected.records = {number == 2 ? data.mid(Length, Length) : QByteArray(Length, ' '),
                        newRecord};
    expected.indexVersions = {index, indexfile::countUpdated(IndexLines, index, u'R', number)};
    pendingwork::begin(expected);

    const QString marker = pendingwork::markerPath();
    QFile dataFile(drive.native(paths::DataFile));
    switch (what) {
    case Interrupted::No:
    case Interrupted::Untouched:
    case Interrupted::ReadUntouched:
    case Interrupted::ReadFinished:
    case Interrupted::ReadIndexChanged:
    case Interrupted::ReadDataChanged:
        break;
    case Interrupted::DataGrew:
        if (dataFile.open(QIODevice::Append))
            dataFile.write(QByteArray(100, 'x'));
        break;
    case Interrupted::RecordChanged:
        if (dataFile.open(QIODevice::ReadWrite) && dataFile.seek(Length))
            dataFile.write(recordBytes(2, QStringLiteral("Someone")));
        break;
    case Interrupted::RecordTorn:
        if (dataFile.open(QIODevice::ReadWrite) && dataFile.seek(Length))
            dataFile.write(newRecord.left(3));
        break;
    case Interrupted::AppendTorn:
        if (dataFile.open(QIODevice::Append))
            dataFile.write(newRecord.left(100));
        dataFile.close();
        files::setAttributes(paths::DataFile, 7);
        break;
    case Interrupted::IndexChanged:
        drive.writeFile(paths::IndexFile, indexBytes(5));
        break;
    case Interrupted::MarkerGarbled:
        drive.writeFile(marker, "Cardomine pending work 1\nsizes many\nrecord 2 -\nindex -\n");
        break;
    case Interrupted::MarkerTruncated:
        drive.writeFile(marker, pendingwork::format(expected).chopped(
                                    pendingwork::format(expected).size() / 2));
        break;
    }
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
    QTest::addColumn<FileState>("index");
    QTest::addColumn<FileState>("data");
    QTest::addColumn<QList<MessageBox>>("messages");
    QTest::addColumn<bool>("rebuilt"); // both files back to the first-run state
    QTest::addColumn<Interrupted>("interrupted");

    QTest::newRow("first run") << FileState::Missing << FileState::Missing
                               << QList<MessageBox>{M1, M4} << true << Interrupted::No;
    QTest::newRow("normal start") << FileState::Sealed << FileState::Sealed << QList<MessageBox>{}
                                  << false << Interrupted::No;
    QTest::newRow("index missing, data sealed")
        << FileState::Missing << FileState::Sealed << QList<MessageBox>{M1} << false
        << Interrupted::No;
    QTest::newRow("index sealed, data missing")
        << FileState::Sealed << FileState::Missing << QList<MessageBox>{M4} << false
        << Interrupted::No;
    QTest::newRow("index archived, data sealed")
        << FileState::Archived << FileState::Sealed
        << QList<MessageBox>{M2, M3, M1, M5, M2, M3, M1, M4} << true << Interrupted::No;
    QTest::newRow("index read-only removed, data sealed")
        << FileState::Writable << FileState::Sealed
        << QList<MessageBox>{M2, M3, M1, M5, M2, M3, M1, M4} << true << Interrupted::No;
    QTest::newRow("index sealed, data archived")
        << FileState::Sealed << FileState::Archived << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::No;
    QTest::newRow("index sealed, data read-only removed")
        << FileState::Sealed << FileState::Writable << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::No;
    QTest::newRow("index archived, data missing")
        << FileState::Archived << FileState::Missing << QList<MessageBox>{M2, M3, M1, M4} << true
        << Interrupted::No;
    QTest::newRow("index missing, data archived")
        << FileState::Missing << FileState::Archived << QList<MessageBox>{M1, M5, M2, M3, M1, M4}
        << true << Interrupted::No;

    // A marker from work cut short seals the files again only when they are as it
    // names them; anything else changed since goes through the repair as usual.
    QTest::newRow("interrupted, files as the marker names them")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{} << false
        << Interrupted::Untouched;
    QTest::newRow("interrupted, data file grew since")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::DataGrew;
    QTest::newRow("interrupted, record changed since")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::RecordChanged;
    // A write cut short is put back: the old length, the old record.
    QTest::newRow("interrupted, record write torn")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{} << false
        << Interrupted::RecordTorn;
    QTest::newRow("interrupted, new record torn, file sealed again")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{} << false
        << Interrupted::AppendTorn;
    QTest::newRow("interrupted, index changed since")
        << FileState::Unsealed << FileState::Unsealed
        << QList<MessageBox>{M2, M3, M1, M5, M2, M3, M1, M4} << true << Interrupted::IndexChanged;
    QTest::newRow("interrupted, marker garbled")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::MarkerGarbled;
    QTest::newRow("interrupted, marker truncated")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::MarkerTruncated;
    // A read names only the data file: the index stays sealed and is checked as usual.
    QTest::newRow("read cut short, files as it left them")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{} << false
        << Interrupted::ReadUntouched;
    QTest::newRow("read finished, data file unsealed since")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::ReadFinished;
    QTest::newRow("read cut short, index changed since")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{M2, M3, M1, M5, M2, M3, M1, M4} << true
        << Interrupted::ReadIndexChanged;
    QTest::newRow("read cut short, data file rewritten since")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{M5, M2, M3, M1, M4} << true
        << Interrupted::ReadDataChanged;
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

    const QByteArray oldIndex = indexBytes(3);
    const QByteArray oldData = threeRecords();
    const QByteArray oldNotes = QByteArrayLiteral("Notes of Ada\r\n");
    const bool existing = index != FileState::Missing || data != FileState::Missing;
    if (existing) {
        QVERIFY(QDir().mkpath(drive.native(paths::NotesFolder)));
        drive.writeFile(notes::pathFor(1), oldNotes);
        drive.writeFile(notes::pathFor(2), QByteArrayLiteral("Notes of Bea\r\n"));
    }
    prepare(drive, paths::IndexFile, oldIndex, 5, index);
    prepare(drive, paths::DataFile, oldData, 7, data);
    const QString marker = drive.native(pendingwork::markerPath());
    if (interrupted != Interrupted::No)
        interruptEditOfRecord2(drive, oldData, oldIndex, interrupted);
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
             describeAll(aboutBoxes() + QList<MessageBox>{M1, M4}));
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

QTEST_MAIN(TestMainWindowLoad)
#include "tst_mainwindowload.moc"
