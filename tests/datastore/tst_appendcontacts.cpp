// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/appendcontacts.h"
#include "datastore/dataerror.h"
#include "datastore/notesfile.h"
#include "datastore/pendingwork.h"
#include "platform/faults.h"
#include "platform/fileerror.h"
#include "storefixture.h"

#include <QDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <memory>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;
namespace faults = cardomine::platform::faults;

namespace {

QList<store::NewContact> threeContacts()
{
    QList<store::NewContact> contacts;
    for (int i = 1; i <= 3; ++i) {
        store::NewContact c{recordOf("New" + QByteArray::number(i), 0), QString()};
        c.record.ContactID = QString();
        c.record.DataType = i == 2 ? u"Suppliers"_s : u"Contacts"_s;
        if (i != 3)
            c.notes = u"Notes of new %1\r\nsecond line"_s.arg(i);
        contacts.append(c);
    }
    return contacts;
}

// Everything a save can change, one line each, to compare two data folders by.
QByteArrayList outcome(const TempDrive &drive)
{
    QByteArrayList o = {"data " + drive.readFile(paths::DataFile).toHex(),
                        "index " + drive.readFile(paths::IndexFile),
                        "attributes " + QByteArray::number(files::attributes(paths::DataFile)) +
                            QByteArray::number(files::attributes(paths::IndexFile)),
                        "table " + IndexLines.entry(IndexLines.highestEntry() - 1).toLatin1(),
                        "marker " +
                            QByteArray::number(files::fileExists(pendingwork::markerPath()))};
    for (int id = 1; id <= 8; ++id) {
        if (files::fileExists(notes::pathFor(id)))
            o << "notes " + QByteArray::number(id) + ": " + drive.readFile(notes::pathFor(id));
    }
    const QDir recovered(drive.native(paths::RecoveredFolder));
    for (const QString &name : recovered.entryList(QDir::Files))
        o << "recovered " + name.section(u'.', 0, 1).toLatin1() + ": " +
                 drive.readFile(paths::RecoveredFolder + u'\\' + name);
    return o;
}

QByteArray randomRecords(int count)
{
    QByteArray out;
    for (int id = 1; id <= count; ++id)
        out += recordBytes("Old" + QByteArray::number(id), id);
    return out;
}

} // namespace

class TestAppendContacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        resetStore();
        faults::reset();
    }
    void cleanup()
    {
        faults::reset();
        Data_Functions::setBoxes(nullptr);
        resetStore();
    }

    void storesAsCreateAndSaveDo_data();
    void storesAsCreateAndSaveDo();
    void replaceStoresAsSaveEditDoes();
    void refusedPastTheLimit();
    void failureLeavesTheCardFileAsItWas_data();
    void failureLeavesTheCardFileAsItWas();
};

void TestAppendContacts::storesAsCreateAndSaveDo_data()
{
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("firstNumber");

    const QByteArray two = randomRecords(2);
    QTest::newRow("random") << indexBytes(2) << two << 3;
    // A count lowered by hand: the new numbers start after the data file's last record.
    QTest::newRow("random, count below the records") << indexBytes(1) << two << 3;
    // A count above the records: the new ones leave a gap, as a positioned write does.
    QTest::newRow("random, count above the records") << indexBytes(4) << two << 5;
    QTest::newRow("random, last record cut short") << indexBytes(2) << two.left(400) << 3;
    QByteArray sequential;
    for (const char *field : {"Old1", "Last1", "Company 1", "Street", "City", "NY", "1", "555",
                              "555", "555", "fax", "11101"})
        sequential += QByteArray(field) + "\r\n";
    QTest::newRow("sequential") << indexBytes(1, "S") << sequential << 2;
    // Contact 1 saved again after contact 2 lowered the count to 1: the new numbers follow
    // the highest the file holds.
    QTest::newRow("sequential, count lowered by a save")
        << indexBytes(1, "S")
        << sequential + QByteArray(sequential).replace("\r\n1\r\n", "\r\n2\r\n") << 3;
}

void TestAppendContacts::storesAsCreateAndSaveDo()
{
    QFETCH(QByteArray, index);
    QFETCH(QByteArray, data);
    QFETCH(int, firstNumber);
    const QList<store::NewContact> contacts = threeContacts();
    const QString type = index.contains("File_Type=S") ? u"S"_s : u"R"_s;

    // Create New + Save New Record, one contact at a time.
    QByteArrayList want;
    {
        TempDrive drive;
        QVERIFY(drive.isValid());
        layOut(drive, index, data);
        drive.writeFile(notes::pathFor(firstNumber), "Left by a repaired card file\r\n");
        MemoryBoxes boxes;
        Data_Functions::setBoxes(&boxes);
        for (int i = 0; i < contacts.size(); ++i) {
            const int number = firstNumber + i;
            CurrentRecord = contacts.at(i).record;
            CurrentRecord.ContactID = QString::number(number);
            boxes.setNotesText(contacts.at(i).notes);
            notes::setAsideEarlierNotes(number);
            Data_Functions::SaveRecord(paths::DataFile, number, type, QString());
        }
        want = outcome(drive);
    }
    resetStore();

    TempDrive drive;
    QVERIFY(drive.isValid());
    layOut(drive, index, data);
    drive.writeFile(notes::pathFor(firstNumber), "Left by a repaired card file\r\n");
    IndexLines.clear(); // read by the append itself
    const QList<int> numbers = store::appendContacts(contacts);
    QCOMPARE(numbers, QList<int>({firstNumber, firstNumber + 1, firstNumber + 2}));
    QCOMPARE(outcome(drive), want);
    QVERIFY(want.contains("marker 0"));
    QCOMPARE(std::count_if(want.cbegin(), want.cend(),
                           [](const QByteArray &line) { return line.startsWith("recovered "); }),
             1);
}

void TestAppendContacts::replaceStoresAsSaveEditDoes()
{
    const ContactRecord edited = recordOf("Edited", 2);
    QByteArrayList want;
    {
        TempDrive drive;
        QVERIFY(drive.isValid());
        layOut(drive, indexBytes(3), randomRecords(3));
        drive.writeFile(notes::pathFor(2), "Old notes\r\n");
        MemoryBoxes boxes;
        Data_Functions::setBoxes(&boxes);
        CurrentRecord = edited;
        boxes.setNotesText(u"New notes"_s);
        Data_Functions::SaveRecord(paths::DataFile, 2, u"R"_s, QString());
        want = outcome(drive);
    }
    resetStore();
    TempDrive drive;
    QVERIFY(drive.isValid());
    layOut(drive, indexBytes(3), randomRecords(3));
    drive.writeFile(notes::pathFor(2), "Old notes\r\n");
    IndexLines.clear();
    ContactRecord unnumbered = edited;
    unnumbered.ContactID = QString();
    store::replaceContact(2, unnumbered, u"New notes"_s);
    QCOMPARE(outcome(drive), want);
}

void TestAppendContacts::refusedPastTheLimit()
{
    TempDrive drive;
    QVERIFY(drive.isValid());
    const int last = ContactRecord::MaxNumber;
    layOut(drive, indexBytes(last - 1), randomRecords(2));
    const QByteArrayList before = outcome(drive);
    QList<store::NewContact> two = threeContacts().mid(0, 2);
    QVERIFY_THROWS_EXCEPTION(DataError, store::appendContacts(two));
    QCOMPARE(outcome(drive), before);

    // One more fits: it takes the last number there is.
    QCOMPARE(store::appendContacts(two.mid(0, 1)), QList<int>{last});
    QCOMPARE(drive.readFile(paths::IndexFile), indexBytes(last));
    QCOMPARE(files::readRecord(paths::DataFile, last, ContactRecord::Length).mid(157, 6),
             QByteArray("32767 "));
}

void TestAppendContacts::failureLeavesTheCardFileAsItWas_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("random") << u"R"_s;
    QTest::newRow("sequential") << u"S"_s;
}

// Every file operation of a batch fails in turn: the batch is reported and leaves the
// card file as it was, sealed, or (when the failure lost nothing) is complete.
void TestAppendContacts::failureLeavesTheCardFileAsItWas()
{
    QFETCH(QString, type);
    const QByteArray index = indexBytes(2, type.toLatin1());
    const QByteArray data = randomRecords(2);
    const QList<store::NewContact> contacts = threeContacts();

    qint64 operations = 0;
    QByteArray dataAfter, indexAfter;
    {
        TempDrive drive;
        QVERIFY(drive.isValid());
        layOut(drive, index, data);
        faults::reset();
        store::appendContacts(contacts);
        operations = faults::operationCount();
        faults::reset();
        dataAfter = drive.readFile(paths::DataFile);
        indexAfter = drive.readFile(paths::IndexFile);
    }
    QVERIFY(operations > 10);
    for (qint64 k = 1; k <= operations; ++k) {
        const QByteArray where = "operation " + QByteArray::number(k);
        resetStore();
        TempDrive drive;
        QVERIFY(drive.isValid());
        layOut(drive, index, data);
        faults::reset();
        faults::arm(k, ENOSPC);
        bool failed = false;
        try {
            store::appendContacts(contacts);
        } catch (const platform::FileError &e) {
            failed = true;
            QVERIFY2(e.errorCode() == ENOSPC, where.constData());
        }
        faults::reset();
        const QByteArray nowData = drive.readFile(paths::DataFile);
        const QByteArray nowIndex = drive.readFile(paths::IndexFile);
        QVERIFY2(failed ? nowData == data && nowIndex == index
                        : nowData == dataAfter && nowIndex == indexAfter,
                 where.constData());
        QVERIFY2(IndexLines.entry(2) == QString::fromLatin1(nowIndex.split('\r').at(2).mid(1)),
                 where.constData());
        QVERIFY2(files::attributes(paths::DataFile) == 7, where.constData());
        QVERIFY2(files::attributes(paths::IndexFile) == 5, where.constData());
        // A marker that could not be removed names the files as they are.
        if (!failed && files::fileExists(pendingwork::markerPath())) {
            // The next start seals nothing new and removes it.
            QVERIFY2(pendingwork::examine().finding == pendingwork::Finding::Named,
                     where.constData());
            files::deleteFile(pendingwork::markerPath());
        }
        QVERIFY2(!files::fileExists(pendingwork::markerPath()), where.constData());
    }
}

QTEST_GUILESS_MAIN(TestAppendContacts)
#include "tst_appendcontacts.moc"
