// SPDX-License-Identifier: GPL-3.0-or-later
// A batch of new contacts appended with the process ended at every file operation,
// and at every write with only its start written (as tst_crashsweep does for the
// window's saves). The next start must need no repair and find the card file as it
// was or with the new contacts, sealed, the notes of earlier contacts untouched.

#include "datastore/appendcontacts.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "platform/faults.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"
#include "tests/support/crashat.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
namespace faults = cardomine::platform::faults;
namespace files = cardomine::platform::files;

Q_DECLARE_METATYPE(cardomine::platform::faults::Mode)

namespace {

constexpr int Length = ContactRecord::Length;

QList<store::NewContact> newContacts()
{
    QList<store::NewContact> contacts;
    for (int i = 1; i <= 3; ++i) {
        ContactRecord r;
        r.setFromRandomBytes(LoadedWindow::recordBytes(10 + i));
        r.ContactID = QString();
        contacts.append({r, i == 2 ? QString() : QStringLiteral("Batch notes %1").arg(i)});
    }
    return contacts;
}

// Three sealed contacts in the given form, with notes for contact 1.
void layOut(const TempDrive &drive, bool sequential)
{
    QByteArray data;
    for (int i = 1; i <= 3; ++i) {
        ContactRecord r;
        r.setFromRandomBytes(LoadedWindow::recordBytes(i));
        data += sequential ? r.toSequentialLines().join(QStringLiteral("\r\n")).toLatin1() + "\r\n"
                           : LoadedWindow::recordBytes(i);
    }
    QByteArray index = LoadedWindow::indexBytes(3);
    if (sequential)
        index.replace("File_Type=R", "File_Type=S");
    files::createFolder(QStringLiteral("c:\\Program Files"));
    files::createFolder(paths::DataFolder);
    files::createFolder(paths::NotesFolder);
    drive.writeFile(paths::IndexFile, index);
    drive.writeFile(paths::DataFile, data);
    drive.writeFile(notes::pathFor(1), "Notes of 1\r\n");
    files::setAttributes(paths::IndexFile, 5);
    files::setAttributes(paths::DataFile, 7);
}

} // namespace

class TestBatchCrashSweep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { faults::reset(); }
    void crashAtEveryOperation_data();
    void crashAtEveryOperation();
};

void TestBatchCrashSweep::crashAtEveryOperation_data()
{
    QTest::addColumn<bool>("sequential");
    QTest::addColumn<faults::Mode>("mode");
    for (const bool sequential : {false, true}) {
        const char *form = sequential ? "sequential" : "random";
        QTest::addRow("%s, crash", form) << sequential << faults::Mode::Crash;
        QTest::addRow("%s, write cut short", form) << sequential << faults::Mode::CutShort;
    }
}

void TestBatchCrashSweep::crashAtEveryOperation()
{
    QFETCH(bool, sequential);
    QFETCH(faults::Mode, mode);
    const QList<store::NewContact> contacts = newContacts();

    QByteArray dataBefore, indexBefore, dataAfter, indexAfter;
    qint64 count = 0;
    QList<qint64> points;
    {
        TempDrive drive;
        QVERIFY(drive.isValid());
        layOut(drive, sequential);
        dataBefore = drive.readFile(paths::DataFile);
        indexBefore = drive.readFile(paths::IndexFile);
        faults::reset();
        QCOMPARE(store::appendContacts(contacts), QList<int>({4, 5, 6}));
        count = faults::operationCount();
        for (const std::int64_t k : faults::writeOperations())
            points.append(k);
        faults::reset();
        dataAfter = drive.readFile(paths::DataFile);
        indexAfter = drive.readFile(paths::IndexFile);
    }
    QVERIFY(dataAfter.size() > dataBefore.size() && indexAfter != indexBefore);
    if (mode == faults::Mode::Crash) {
        points.clear();
        for (qint64 k = 1; k <= count; ++k)
            points.append(k);
    }
    QVERIFY(!points.isEmpty());

    int completeAt = 0;
    for (const qint64 k : points) {
        const QByteArray where =
            "operation " + QByteArray::number(k) + " of " + QByteArray::number(count);
        CurrentRecord = ContactRecord();
        IndexLines.clear();
        TempDrive drive;
        QVERIFY(drive.isValid());
        layOut(drive, sequential);

        QVERIFY2(crashesAt(k, mode, [&] { store::appendContacts(contacts); }), where.constData());

        // The next start: no repair, no box but its own.
        const StartSeen start = startOnce();
        QVERIFY2(start.ready, where.constData());
        for (const platform::MessageBox &box : start.shown)
            QVERIFY2(box.title != u"File Corruption Notice!" &&
                         box.title != u"File Update Will Occur Now. . .",
                     qPrintable(QString::fromLatin1(where) + u": " + box.title));
        QVERIFY2(start.unexpected.isEmpty(), where.constData());

        const QByteArray data = drive.readFile(paths::DataFile);
        const QByteArray index = drive.readFile(paths::IndexFile);
        const bool asItWas = data == dataBefore && index == indexBefore;
        const bool complete = data == dataAfter && index == indexAfter;
        QVERIFY2(asItWas || complete, where.constData());
        if (complete && !completeAt)
            completeAt = int(k);
        QVERIFY2(!asItWas || !completeAt, "a later crash lost a batch an earlier one kept");
        QVERIFY2(files::attributes(paths::DataFile) == 7, where.constData());
        QVERIFY2(files::attributes(paths::IndexFile) == 5, where.constData());
        QVERIFY2(!files::fileExists(pendingwork::markerPath()), where.constData());
        QVERIFY2(drive.readFile(notes::pathFor(1)) == "Notes of 1\r\n", where.constData());
        if (complete)
            QVERIFY2(drive.readFile(notes::pathFor(6)) == "Batch notes 3\r\n", where.constData());
    }
    // Crashes late enough leave the whole batch, earlier ones none of it.
    QVERIFY(completeAt > 0 || mode == faults::Mode::CutShort);
}

QTEST_MAIN(TestBatchCrashSweep)
#include "tst_batchcrashsweep.moc"
