// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/repairtable.h"

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "platform/fileattributes.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace cardomine::testing::repairtable {

namespace files = platform::files;
using platform::MessageBox;
using platform::MessageButtons;
using platform::MessageIcon;

const MessageBox IndexCreatedBox{QStringLiteral("File Creation Notice!"),
                                 QStringLiteral("INDEX.TBL has been created!"),
                                 MessageIcon::Information, MessageButtons::Ok};
const MessageBox IndexCorruptedBox{
    QStringLiteral("File Corruption Notice!"),
    QStringLiteral("The INDEX.TBL file was corrupted and will now be deleted and then recreated by "
                   "Cardomine!"),
    MessageIcon::Critical, MessageButtons::Ok};
const MessageBox DoNotAlterIndexBox{
    QStringLiteral("Be Careful!"),
    QStringLiteral("It is in your best interest while using this program not to alter the "
                   "INDEX.TBL file.\rDoing so will result in LOST INFORMATION!!"),
    MessageIcon::Information, MessageButtons::Ok};
const MessageBox DataFileCreatedBox{QStringLiteral("File Update Completed!"),
                                    QStringLiteral("Data File Has Been Updated!"),
                                    MessageIcon::Information, MessageButtons::Ok};
const MessageBox DataFileRebuildBox{
    QStringLiteral("File Update Will Occur Now. . ."),
    QStringLiteral("The Data file will now be updated to correspond with the information in the "
                   "INDEX file. . ."),
    MessageIcon::Information, MessageButtons::Ok};

QByteArray createdIndexBytes()
{
    return QByteArrayLiteral("Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=1\r\n"
                             "File_Type=R\r\n");
}

QByteArray indexBytes(int count, const QByteArray &fileType)
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

// Writes a file with the given bytes, then gives it the state asked for.
void prepare(const TempDrive &drive, const QString &path, const QByteArray &bytes, int seal,
             FileState state)
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

namespace {

// Leaves the marker an edit of record 2 writes before it sets the data file to
// normal, as if the program had been cut short there, then lets something else
// happen: to the files, or to the marker.
void interruptEditOfRecord2(const TempDrive &drive, const QByteArray &data, const QByteArray &index,
                            Interrupted what)
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

} // namespace

void addRows()
{
    QTest::addColumn<FileState>("index");
    QTest::addColumn<FileState>("data");
    QTest::addColumn<QList<MessageBox>>("messages");
    QTest::addColumn<bool>("rebuilt"); // both files back to the first-run state
    QTest::addColumn<Interrupted>("interrupted");

    const MessageBox &created = IndexCreatedBox;
    const MessageBox &corrupted = IndexCorruptedBox;
    const MessageBox &careful = DoNotAlterIndexBox;
    const MessageBox &dataCreated = DataFileCreatedBox;
    const MessageBox &rebuild = DataFileRebuildBox;

    QTest::newRow("first run") << FileState::Missing << FileState::Missing
                               << QList<MessageBox>{created, dataCreated} << true
                               << Interrupted::No;
    QTest::newRow("normal start") << FileState::Sealed << FileState::Sealed << QList<MessageBox>{}
                                  << false << Interrupted::No;
    QTest::newRow("index missing, data sealed")
        << FileState::Missing << FileState::Sealed << QList<MessageBox>{created} << false
        << Interrupted::No;
    QTest::newRow("index sealed, data missing")
        << FileState::Sealed << FileState::Missing << QList<MessageBox>{dataCreated} << false
        << Interrupted::No;
    QTest::newRow("index archived, data sealed")
        << FileState::Archived << FileState::Sealed
        << QList<MessageBox>{corrupted, careful, created, rebuild,
                             corrupted, careful, created, dataCreated}
        << true << Interrupted::No;
    QTest::newRow("index read-only removed, data sealed")
        << FileState::Writable << FileState::Sealed
        << QList<MessageBox>{corrupted, careful, created, rebuild,
                             corrupted, careful, created, dataCreated}
        << true << Interrupted::No;
    QTest::newRow("index sealed, data archived")
        << FileState::Sealed << FileState::Archived
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::No;
    QTest::newRow("index sealed, data read-only removed")
        << FileState::Sealed << FileState::Writable
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::No;
    QTest::newRow("index archived, data missing")
        << FileState::Archived << FileState::Missing
        << QList<MessageBox>{corrupted, careful, created, dataCreated} << true << Interrupted::No;
    QTest::newRow("index missing, data archived")
        << FileState::Missing << FileState::Archived
        << QList<MessageBox>{created, rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::No;

    // A marker from work cut short seals the files again only when they are as it
    // names them; anything else changed since goes through the repair as usual.
    QTest::newRow("interrupted, files as the marker names them")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{} << false
        << Interrupted::Untouched;
    QTest::newRow("interrupted, data file grew since")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::DataGrew;
    QTest::newRow("interrupted, record changed since")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
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
        << QList<MessageBox>{corrupted, careful, created, rebuild,
                             corrupted, careful, created, dataCreated}
        << true << Interrupted::IndexChanged;
    QTest::newRow("interrupted, marker garbled")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::MarkerGarbled;
    QTest::newRow("interrupted, marker truncated")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::MarkerTruncated;
    // A read names only the data file: the index stays sealed and is checked as usual.
    QTest::newRow("read cut short, files as it left them")
        << FileState::Sealed << FileState::Unsealed << QList<MessageBox>{} << false
        << Interrupted::ReadUntouched;
    QTest::newRow("read finished, data file unsealed since")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::ReadFinished;
    QTest::newRow("read cut short, index changed since")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{corrupted, careful, created, rebuild,
                             corrupted, careful, created, dataCreated}
        << true << Interrupted::ReadIndexChanged;
    QTest::newRow("read cut short, data file rewritten since")
        << FileState::Sealed << FileState::Unsealed
        << QList<MessageBox>{rebuild, corrupted, careful, created, dataCreated} << true
        << Interrupted::ReadDataChanged;
}

Layout layOut(const TempDrive &drive, FileState index, FileState data, Interrupted interrupted)
{
    Layout layout;
    layout.oldIndex = indexBytes(3);
    layout.oldData = threeRecords();
    layout.oldNotes = QByteArrayLiteral("Notes of Ada\r\n");
    layout.existing = index != FileState::Missing || data != FileState::Missing;
    if (layout.existing) {
        QDir().mkpath(drive.native(paths::NotesFolder));
        drive.writeFile(notes::pathFor(1), layout.oldNotes);
        drive.writeFile(notes::pathFor(2), QByteArrayLiteral("Notes of Bea\r\n"));
    }
    prepare(drive, paths::IndexFile, layout.oldIndex, 5, index);
    prepare(drive, paths::DataFile, layout.oldData, 7, data);
    if (interrupted != Interrupted::No)
        interruptEditOfRecord2(drive, layout.oldData, layout.oldIndex, interrupted);
    return layout;
}

} // namespace cardomine::testing::repairtable
