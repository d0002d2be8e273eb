// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/dataerror.h"
#include "datastore/datafunctions.h"
#include "datastore/notesfile.h"
#include "platform/faults.h"
#include "platform/fileerror.h"
#include "storefixture.h"

#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;
namespace faults = cardomine::platform::faults;

namespace {

QByteArray sequentialBytes(const QByteArray &record)
{
    const int fields[][2] = {{0, 10},  {10, 20},  {30, 40},  {70, 50},  {120, 30}, {150, 2},
                             {157, 6}, {163, 12}, {175, 12}, {187, 12}, {199, 30}, {152, 5}};
    QList<QByteArray> lines;
    for (const auto &f : fields)
        lines << record.mid(f[0], f[1]);
    return crlfLines(lines);
}

// One save, with the files as they are before it and as they must be after it.
struct Scenario
{
    QString fileType;
    int contactId = 0;
    QString notesBox;
    QByteArray dataBefore;
    QByteArray indexBefore;
    QByteArray indexAfter;
    QByteArray notesBefore; // empty: no notes file
    QByteArray notesAfter;  // empty with notesBefore empty: still no file
};

Scenario scenario(const QString &name)
{
    const QByteArray two = recordBytes("Name1", 1) + recordBytes("Name2", 2);
    if (name == u"new record")
        return {u"R"_s, 3, u"Call back"_s, two, indexBytes(2), indexBytes(3), {}, "Call back\r\n"};
    if (name == u"edited record, notes cleared")
        return {u"R"_s,          2,
                QString(),       two + recordBytes("Name3", 3),
                indexBytes(3),   indexBytes(3),
                "Old notes\r\n", {}};
    if (name == u"sequential edit of the last contact") // the count stays as it was
        return {u"S"_s,
                1,
                u"Seq notes"_s,
                sequentialBytes(recordBytes("Name1", 1)),
                indexBytes(1, "S"),
                indexBytes(1, "S"),
                "Old seq\r\n",
                "Seq notes\r\n"};
    return {u"S"_s,
            2,
            u"Seq notes"_s,
            sequentialBytes(recordBytes("Name1", 1)),
            indexBytes(1, "S"),
            indexBytes(2, "S"),
            "Old seq\r\n",
            "Seq notes\r\n"};
}

} // namespace

class TestSaveFaults : public QObject
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

    void everyOperationFails_data();
    void everyOperationFails();

private:
    std::unique_ptr<TempDrive> prepare(const Scenario &s, MemoryBoxes &boxes)
    {
        resetStore();
        auto drive = std::make_unique<TempDrive>();
        if (!drive->isValid())
            return nullptr;
        layOut(*drive, s.indexBefore, s.dataBefore);
        if (!s.notesBefore.isEmpty())
            drive->writeFile(notes::pathFor(s.contactId), s.notesBefore);
        CurrentRecord = recordOf("Saved", s.contactId);
        boxes.setNotesText(s.notesBox);
        Data_Functions::setBoxes(&boxes);
        return drive;
    }

    static void save(const Scenario &s)
    {
        Data_Functions::SaveRecord(paths::DataFile, s.contactId, s.fileType, QString());
    }
};

void TestSaveFaults::everyOperationFails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("errorCode");

    for (const QString &name : {u"new record"_s, u"edited record, notes cleared"_s, u"sequential"_s,
                                u"sequential edit of the last contact"_s}) {
        QTest::addRow("%s, ENOSPC", qPrintable(name)) << name << ENOSPC;
        QTest::addRow("%s, EIO", qPrintable(name)) << name << EIO;
        QTest::addRow("%s, EACCES", qPrintable(name)) << name << EACCES;
    }
}

void TestSaveFaults::everyOperationFails()
{
    QFETCH(QString, name);
    QFETCH(int, errorCode);
    const Scenario s = scenario(name);
    const QByteArray saved = recordBytes("Saved", s.contactId);
    const bool random = s.fileType == u"R";

    // A clean run first, to count the save's file operations.
    qint64 operations = 0;
    {
        MemoryBoxes boxes;
        const auto drive = prepare(s, boxes);
        QVERIFY(drive);
        faults::reset();
        save(s);
        operations = faults::operationCount();
        faults::reset();
        QCOMPARE(drive->readFile(paths::IndexFile), s.indexAfter);
    }
    QVERIFY(operations > 0);

    qint64 unreported = 0;
    for (qint64 k = 1; k <= operations; ++k) {
        const QByteArray where =
            "operation " + QByteArray::number(k) + " of " + QByteArray::number(operations);
        MemoryBoxes boxes;
        const auto drive = prepare(s, boxes);
        QVERIFY(drive);

        faults::reset();
        faults::arm(k, errorCode);
        bool raised = false;
        bool recordStored = false;
        try {
            save(s);
        } catch (const platform::FileError &e) {
            raised = true;
            QVERIFY2(e.errorCode() == errorCode, where.constData());
            QVERIFY2(!e.path().isEmpty() && !e.reason().isEmpty(), where.constData());
        } catch (const NotesNotSaved &e) {
            raised = recordStored = true;
            QVERIFY2(e.problem() == QString::fromLocal8Bit(std::strerror(errorCode)),
                     where.constData());
            // It says whether the notes got in place, and they did or did not.
            QVERIFY2(drive->readFile(notes::pathFor(s.contactId)) ==
                         (e.notesInPlace() ? s.notesAfter : s.notesBefore),
                     where.constData());
        }
        faults::reset();
        // A save that says only its notes failed has stored the record and the count.
        if (recordStored) {
            QVERIFY2(drive->readFile(paths::IndexFile) == s.indexAfter, where.constData());
            const QByteArray data = drive->readFile(paths::DataFile);
            QVERIFY2(random ? data.mid((s.contactId - 1) * 249, 249) == saved
                            : data == s.dataBefore + sequentialBytes(saved),
                     where.constData());
        }
        // The file services let a few failures pass that lose nothing (closing a file
        // after everything was read from it); such a save must then be complete.
        if (!raised) {
            QVERIFY2(drive->readFile(paths::IndexFile) == s.indexAfter, where.constData());
            QVERIFY2(drive->readFile(notes::pathFor(s.contactId)) == s.notesAfter,
                     where.constData());
            const QByteArray data = drive->readFile(paths::DataFile);
            QVERIFY2(random ? data.mid((s.contactId - 1) * 249, 249) == saved
                            : data == s.dataBefore + sequentialBytes(saved),
                     where.constData());
            ++unreported;
        }

        // The index is the old file or the new one, never cut short.
        const QByteArray index = drive->readFile(paths::IndexFile);
        QVERIFY2(index == s.indexBefore || index == s.indexAfter,
                 QByteArray(where + ": " + index).constData());
        // What was saved before is still there.
        const QByteArray data = drive->readFile(paths::DataFile);
        if (random) {
            const int start = (s.contactId - 1) * 249;
            QVERIFY2(data.left(start) == s.dataBefore.left(start), where.constData());
            QVERIFY2(data.mid(start + 249) == s.dataBefore.mid(start + 249), where.constData());
        } else {
            QVERIFY2(data.startsWith(s.dataBefore), where.constData());
        }
        for (int id = 1; id <= s.dataBefore.size() / 249; ++id) {
            if (random && id == s.contactId)
                continue;
            QVERIFY2(files::readRecord(paths::DataFile, id, 249) ==
                         s.dataBefore.mid((id - 1) * 249, 249),
                     where.constData());
        }
        const QByteArray notes = drive->readFile(notes::pathFor(s.contactId));
        QVERIFY2(notes == s.notesBefore || notes == s.notesAfter, where.constData());
        // Both files are sealed again, so the next start takes them as untouched.
        QVERIFY2(files::attributes(paths::DataFile) == 7, where.constData());
        QVERIFY2(files::attributes(paths::IndexFile) == 5, where.constData());

        // A retry goes through and leaves the files as a clean save does.
        save(s);
        QVERIFY2(drive->readFile(paths::IndexFile) == s.indexAfter, where.constData());
        QVERIFY2(IndexLines.entry(2) == QString::fromLatin1(s.indexAfter.split('\r').at(2).mid(1)),
                 where.constData());
        const QByteArray after = drive->readFile(paths::DataFile);
        if (random)
            QVERIFY2(after.mid((s.contactId - 1) * 249, 249) == saved, where.constData());
        else
            QVERIFY2(after.endsWith(sequentialBytes(saved)), where.constData());
        // A failed append left none of its record: the retry stores it once. (A save
        // that went through, or stored its record before its notes failed, is simply
        // saved again.)
        if (!random) {
            const QByteArray once = s.dataBefore + sequentialBytes(saved);
            QVERIFY2(after == (raised && !recordStored ? once : once + sequentialBytes(saved)),
                     where.constData());
        }
        QVERIFY2(drive->readFile(notes::pathFor(s.contactId)) == s.notesAfter, where.constData());
        QVERIFY2(files::attributes(paths::DataFile) == 7, where.constData());
        QVERIFY2(files::attributes(paths::IndexFile) == 5, where.constData());
    }
    // Nearly every operation of a save can fail in a way the user must hear about.
    QVERIFY2(unreported * 4 < operations,
             qPrintable(u"%1 of %2 failures went unreported"_s.arg(unreported).arg(operations)));
}

QTEST_GUILESS_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
