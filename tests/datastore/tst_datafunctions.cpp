// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/dataerror.h"
#include "datastore/datafunctions.h"
#include "datastore/notesfile.h"
#include "platform/attributestore.h"
#include "platform/fileerror.h"
#include "storefixture.h"

#include <QTest>

#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;

namespace {

// Notes the order in which the routines visit the boxes.
class RecordingBoxes : public MemoryBoxes
{
public:
    void setBoxText(FieldBox box, const QString &text) override
    {
        calls << u"text %1"_s.arg(int(box));
        MemoryBoxes::setBoxText(box, text);
    }
    void setBoxLocked(FieldBox box, bool locked) override
    {
        calls << u"lock %1"_s.arg(int(box));
        MemoryBoxes::setBoxLocked(box, locked);
    }
    QStringList calls;
};

// The sequential form of a random-form record, picked out by the field table:
// FirstName, LastName, Company, Address, City, State, ContactID, HomePhone,
// WorkPhone, PagerMobile, FaxOrEmail, Zip.
QByteArray sequentialBytes(const QByteArray &record)
{
    const int fields[][2] = {{0, 10},  {10, 20},  {30, 40},  {70, 50},  {120, 30}, {150, 2},
                             {157, 6}, {163, 12}, {175, 12}, {187, 12}, {199, 30}, {152, 5}};
    QList<QByteArray> lines;
    for (const auto &f : fields)
        lines << record.mid(f[0], f[1]);
    return crlfLines(lines);
}

QByteArray records(std::initializer_list<int> ids)
{
    QByteArray out;
    for (int id : ids)
        out += recordBytes("Name" + QByteArray::number(id), id);
    return out;
}

const QList<FieldBox> allBoxes = {
    FieldBox::FirstName, FieldBox::LastName,    FieldBox::Company,    FieldBox::Address,
    FieldBox::City,      FieldBox::State,       FieldBox::Zip,        FieldBox::HomePhone,
    FieldBox::WorkPhone, FieldBox::PagerMobile, FieldBox::FaxOrEmail,
};

} // namespace

class TestDataFunctions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    // Storage, random form.
    void recordsOneToThree();
    void randomSave_data();
    void randomSave();
    void saveUnderOtherType();
    // Storage, sequential form.
    void sequentialSaves();
    // Notes through the routines.
    void saveWritesNotes_data();
    void saveWritesNotes();
    void loadThenSaveKeepsNotes();
    // Loading.
    void load_data();
    void load();
    void loadSequentialChangesOnlyNotes();
    void loadAfterOtherProgramChanged_data();
    void loadAfterOtherProgramChanged();
    // Refused input.
    void refusedBeforeWriting_data();
    void refusedBeforeWriting();
    void missingDataFile_data();
    void missingDataFile();
    void textRecordNumber();
    // Field transfer.
    void collectShowingFirst();
    void collectTyped_data();
    void collectTyped();
    void setAllFields_data();
    void setAllFields();

private:
    void checkSeals()
    {
        QCOMPARE(files::attributes(paths::DataFile), 7);
        QCOMPARE(files::attributes(paths::IndexFile), 5);
    }

    std::unique_ptr<TempDrive> m_drive;
    RecordingBoxes m_boxes;
};

void TestDataFunctions::init()
{
    resetStore();
    m_drive = std::make_unique<TempDrive>();
    QVERIFY2(m_drive->isValid(), qPrintable(m_drive->errorString()));
    m_boxes = RecordingBoxes();
    Data_Functions::setBoxes(&m_boxes);
}

void TestDataFunctions::cleanup()
{
    Data_Functions::setBoxes(nullptr);
    m_drive.reset();
    platform::attributestore::forceSidecar(false);
    resetStore();
}

void TestDataFunctions::recordsOneToThree()
{
    layOut(*m_drive, indexBytes(0), QByteArray());
    for (int id = 1; id <= 3; ++id) {
        CurrentRecord = recordOf("Name" + QByteArray::number(id), id);
        Data_Functions::SaveRecord(paths::DataFile, id, u"R"_s, QString());
        checkSeals();
    }
    const QByteArray data = m_drive->readFile(paths::DataFile);
    QCOMPARE(data.size(), 747);
    QCOMPARE(data, records({1, 2, 3}));
    QCOMPARE(data.mid(448, 30), padded("fax2@example.org", 30));
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(3));
}

void TestDataFunctions::randomSave_data()
{
    QTest::addColumn<int>("count");     // in the index before
    QTest::addColumn<int>("contactId"); // saved at its own position
    QTest::addColumn<QString>("rewriteFlag");
    QTest::addColumn<int>("saves");
    QTest::addColumn<int>("countAfter");

    QTest::newRow("3 raises count 2") << 2 << 3 << QString() << 1 << 3;
    QTest::newRow("3 saved twice leaves 3") << 2 << 3 << QString() << 2 << 3;
    QTest::newRow("2 under count 5 leaves 5") << 5 << 2 << QString() << 1 << 5;
    QTest::newRow("2 over count 1") << 1 << 2 << QString() << 1 << 2;
    QTest::newRow("NoRewrite keeps count") << 2 << 3 << u"NoRewrite"_s << 1 << 2;
    QTest::newRow("other flag text updates") << 2 << 3 << u"Rewrite"_s << 1 << 3;
    QTest::newRow("flag compared exactly") << 2 << 3 << u"norewrite"_s << 1 << 3;
}

void TestDataFunctions::randomSave()
{
    QFETCH(int, count);
    QFETCH(int, contactId);
    QFETCH(QString, rewriteFlag);
    QFETCH(int, saves);
    QFETCH(int, countAfter);

    const QByteArray before = records({1, 2});
    layOut(*m_drive, indexBytes(count), before);
    const QByteArray saved = recordBytes("Saved", contactId);
    CurrentRecord = recordOf("Saved", contactId);

    for (int i = 0; i < saves; ++i) {
        Data_Functions::SaveRecord(paths::DataFile, contactId, u"R"_s, rewriteFlag);
        checkSeals();
    }

    const QByteArray data = m_drive->readFile(paths::DataFile);
    const int start = (contactId - 1) * 249;
    QCOMPARE(data.size(), qMax<qsizetype>(before.size(), start + 249));
    QCOMPARE(data.mid(start, 249), saved);
    if (contactId > 2)
        QCOMPARE(data.left(498), before);
    else
        QCOMPARE(data.left(start), before.left(start));
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(countAfter));
    QCOMPARE(IndexLines.entry(2), u"Num_Of_Records=%1"_s.arg(countAfter));
    QCOMPARE(indexfile::recordCount(IndexLines), countAfter);
}

void TestDataFunctions::saveUnderOtherType()
{
    layOut(*m_drive, indexBytes(2), records({1, 2}));
    CurrentRecord = recordOf("Other", 3);
    m_boxes.setNotesText(u"Noted"_s);

    Data_Functions::SaveRecord(paths::DataFile, 3, u"r"_s, QString());
    QCOMPARE(m_drive->readFile(paths::DataFile), records({1, 2}));
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(2));
    QCOMPARE(m_drive->readFile(notes::pathFor(3)), QByteArray("Noted\r\n"));
    checkSeals();
}

void TestDataFunctions::sequentialSaves()
{
    const QByteArray first = sequentialBytes(recordBytes("Name1", 1));
    QCOMPARE(first.count("\r\n"), 12);
    layOut(*m_drive, indexBytes(7, "S"), first);

    CurrentRecord = recordOf("Seq", 5);
    Data_Functions::SaveRecord(paths::DataFile, 1, u"S"_s, QString());
    checkSeals();
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(5, "S"));

    // Lower than the count, and NoRewrite has no say in this form.
    CurrentRecord = recordOf("Seq", 2);
    Data_Functions::SaveRecord(paths::DataFile, 9, u"S"_s, u"NoRewrite"_s);
    checkSeals();

    const QByteArray data = m_drive->readFile(paths::DataFile);
    QCOMPARE(data.count("\r\n"), 12 + 24);
    QCOMPARE(data, first + sequentialBytes(recordBytes("Seq", 5)) +
                       sequentialBytes(recordBytes("Seq", 2)));
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(2, "S"));
    QCOMPARE(IndexLines.entry(2), u"Num_Of_Records=2"_s);
}

void TestDataFunctions::saveWritesNotes_data()
{
    QTest::addColumn<bool>("fileBefore");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("fileAfter");
    QTest::addColumn<QByteArray>("bytesAfter");

    QTest::newRow("typed notes, no file")
        << false << u"Call back"_s << true << QByteArray("Call back\r\n");
    QTest::newRow("typed notes replace old")
        << true << u"Call back"_s << true << QByteArray("Call back\r\n");
    QTest::newRow("empty box empties old") << true << QString() << true << QByteArray();
    QTest::newRow("empty box creates none") << false << QString() << false << QByteArray();
}

void TestDataFunctions::saveWritesNotes()
{
    QFETCH(bool, fileBefore);
    QFETCH(QString, box);
    QFETCH(bool, fileAfter);
    QFETCH(QByteArray, bytesAfter);

    layOut(*m_drive, indexBytes(2), records({1, 2}));
    if (fileBefore)
        m_drive->writeFile(notes::pathFor(3), "Old notes of someone else\r\n");
    CurrentRecord = recordOf("New", 3);
    m_boxes.setNotesText(box);

    Data_Functions::SaveRecord(paths::DataFile, 3, u"R"_s, QString());
    QCOMPARE(files::fileExists(notes::pathFor(3)), fileAfter);
    if (fileAfter)
        QCOMPARE(m_drive->readFile(notes::pathFor(3)), bytesAfter);
    QCOMPARE(m_boxes.notesText(), box);
}

void TestDataFunctions::loadThenSaveKeepsNotes()
{
    layOut(*m_drive, indexBytes(2), records({1, 2}));
    const QByteArray notesBytes("Call back\r\nafter five\r\n");
    m_drive->writeFile(notes::pathFor(2), notesBytes);

    for (int round = 0; round < 3; ++round) {
        Data_Functions::LoadRecord(paths::DataFile, 2, u"R"_s);
        QCOMPARE(m_boxes.notesText(), u"Call back\r\nafter five"_s);
        Data_Functions::SaveRecord(paths::DataFile, CurrentRecord.contactNumber().value(), u"R"_s,
                                   QString());
        QCOMPARE(m_drive->readFile(notes::pathFor(2)), notesBytes);
        checkSeals();
    }
    QCOMPARE(m_drive->readFile(paths::DataFile), records({1, 2}));
}

void TestDataFunctions::load_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("notes");

    const QByteArray three = records({1, 2, 3});
    QTest::newRow("record 2 with notes") << three << 2 << recordBytes("Name2", 2) << u"Second"_s;
    QTest::newRow("record 1 without notes file")
        << three << 1 << recordBytes("Name1", 1) << QString();
    QTest::newRow("past the end is spaces") << three << 5 << QByteArray(249, ' ') << QString();
    QTest::newRow("far past the end") << three << 32767 << QByteArray(249, ' ') << QString();
    QTest::newRow("short last record")
        << three.left(249 + 100) << 2 << padded(three.mid(249, 100), 249) << QString();
    QTest::newRow("number not in ContactID")
        << records({1}) + padded("Nobody", 157) + padded("x7", 92) << 2
        << padded("Nobody", 157) + padded("x7", 92) << QString();
}

void TestDataFunctions::load()
{
    QFETCH(QByteArray, data);
    QFETCH(int, position);
    QFETCH(QByteArray, expected);
    QFETCH(QString, notes);

    layOut(*m_drive, indexBytes(3), data);
    m_drive->writeFile(notes::pathFor(2), "Second\r\n");
    m_boxes.setNotesText(u"left from before"_s);
    for (FieldBox box : allBoxes)
        m_boxes.setBoxText(box, u"box"_s);

    Data_Functions::LoadRecord(paths::DataFile, position, u"R"_s);
    QCOMPARE(CurrentRecord.toRandomBytes(), expected);
    QCOMPARE(m_boxes.notesText(), notes);
    for (FieldBox box : allBoxes)
        QCOMPARE(m_boxes.boxText(box), u"box"_s);
    QCOMPARE(m_drive->readFile(paths::DataFile), data);
    checkSeals();
}

void TestDataFunctions::loadSequentialChangesOnlyNotes()
{
    const QByteArray data = sequentialBytes(recordBytes("Name1", 1));
    layOut(*m_drive, indexBytes(1, "S"), data);
    m_drive->writeFile(notes::pathFor(4), "Four\r\n");
    CurrentRecord = recordOf("Held", 4);

    Data_Functions::LoadRecord(paths::DataFile, 1, u"S"_s);
    QCOMPARE(CurrentRecord, recordOf("Held", 4));
    QCOMPARE(m_boxes.notesText(), u"Four"_s);
    QCOMPARE(m_drive->readFile(paths::DataFile), data);
    checkSeals();
}

// Another program changes the data file between two reads of the same record. The
// second read shows the file as it is now and leaves it sealed for its content, as a
// read of a file nobody touched does.
enum class OtherChange
{
    Nothing,
    WriteBitsBack,
    HiddenSystemGone,
    SealGone,
    RecordRewritten
};

void TestDataFunctions::loadAfterOtherProgramChanged_data()
{
    QTest::addColumn<OtherChange>("change");
    QTest::addColumn<bool>("sidecar");
    for (const bool sidecar : {false, true}) {
        const char *store = sidecar ? " (sidecar)" : "";
        QTest::addRow("nothing%s", store) << OtherChange::Nothing << sidecar;
        QTest::addRow("chmod u+w%s", store) << OtherChange::WriteBitsBack << sidecar;
        QTest::addRow("record rewritten%s", store) << OtherChange::RecordRewritten << sidecar;
    }
    QTest::newRow("user.DOSATTRIB removed") << OtherChange::HiddenSystemGone << false;
    QTest::newRow("seal removed") << OtherChange::SealGone << false;
}

void TestDataFunctions::loadAfterOtherProgramChanged()
{
    QFETCH(OtherChange, change);
    QFETCH(bool, sidecar);
    platform::attributestore::forceSidecar(sidecar);
    const QByteArray data = records({1, 2, 3});
    layOut(*m_drive, indexBytes(3), data);
    Data_Functions::LoadRecord(paths::DataFile, 2, u"R"_s);
    QCOMPARE(CurrentRecord.toRandomBytes(), recordBytes("Name2", 2));

    const QByteArray native = QFile::encodeName(m_drive->native(paths::DataFile));
    struct stat before
    {};
    QCOMPARE(::stat(native.constData(), &before), 0);
    QByteArray expected = recordBytes("Name2", 2);
    switch (change) {
    case OtherChange::Nothing:
        break;
    case OtherChange::WriteBitsBack:
        QCOMPARE(::chmod(native.constData(), before.st_mode | S_IWUSR), 0);
        break;
    case OtherChange::HiddenSystemGone:
        QCOMPARE(::removexattr(native.constData(), platform::attributestore::DosAttribName), 0);
        break;
    case OtherChange::SealGone:
        QCOMPARE(::removexattr(native.constData(), platform::attributestore::SealName), 0);
        break;
    case OtherChange::RecordRewritten: {
        // Same length, a later time stamp, as an editor saving in place leaves it.
        expected = recordBytes("Other", 2);
        QCOMPARE(::chmod(native.constData(), before.st_mode | S_IWUSR), 0);
        const int fd = ::open(native.constData(), O_WRONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::pwrite(fd, expected.constData(), size_t(expected.size()), 249),
                 ssize_t(expected.size()));
        const struct timespec later[2] = {before.st_atim,
                                          {before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec}};
        QCOMPARE(::futimens(fd, later), 0);
        ::close(fd);
        QCOMPARE(::chmod(native.constData(), before.st_mode), 0);
        break;
    }
    }
    const bool changed = change != OtherChange::Nothing;
    // Without our seal a read-only file reads as a Windows program left it: still 7.
    QCOMPARE(files::attributes(paths::DataFile) == 7, !changed || change == OtherChange::SealGone);

    CurrentRecord = recordOf("Held", 9);
    Data_Functions::LoadRecord(paths::DataFile, 2, u"R"_s);
    QCOMPARE(CurrentRecord.toRandomBytes(), expected);
    checkSeals();
    // Sealed for what it holds now: nothing is left for the next read to set again.
    QVERIFY(files::attributesHold(paths::DataFile, 7));
    // A file nobody changed is read without a change of its own.
    struct stat after
    {};
    QCOMPARE(::stat(native.constData(), &after), 0);
    if (!changed)
        QCOMPARE(after.st_ctim.tv_nsec + after.st_ctim.tv_sec * 1000000000LL,
                 before.st_ctim.tv_nsec + before.st_ctim.tv_sec * 1000000000LL);
}

void TestDataFunctions::refusedBeforeWriting_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<int>("recordNumber");
    QTest::addColumn<QString>("contactId");
    QTest::addColumn<bool>("tableRead");

    QTest::newRow("save at 0") << true << 0 << u"3"_s << true;
    QTest::newRow("save at -1") << true << -1 << u"3"_s << true;
    QTest::newRow("save at 32768") << true << 32768 << u"3"_s << true;
    QTest::newRow("save ContactID letters") << true << 3 << u"abc"_s << true;
    QTest::newRow("save ContactID empty") << true << 3 << QString() << true;
    QTest::newRow("save ContactID 40000") << true << 3 << u"40000"_s << true;
    QTest::newRow("save with the index not read") << true << 3 << u"3"_s << false;
    QTest::newRow("load at 0") << false << 0 << u"3"_s << true;
    QTest::newRow("load at 32768") << false << 32768 << u"3"_s << true;
}

void TestDataFunctions::refusedBeforeWriting()
{
    QFETCH(bool, save);
    QFETCH(int, recordNumber);
    QFETCH(QString, contactId);
    QFETCH(bool, tableRead);

    const QByteArray data = records({1, 2});
    layOut(*m_drive, indexBytes(2), data);
    if (!tableRead)
        IndexLines.clear();
    CurrentRecord = recordOf("Refused", 3);
    CurrentRecord.ContactID = contactId;
    const ContactRecord before = CurrentRecord;
    m_boxes.setNotesText(u"typed"_s);

    try {
        if (save)
            Data_Functions::SaveRecord(paths::DataFile, recordNumber, u"R"_s, QString());
        else
            Data_Functions::LoadRecord(paths::DataFile, recordNumber, u"R"_s);
        QFAIL("the call was not refused");
    } catch (const DataError &e) {
        QVERIFY(!e.problem().isEmpty());
    }
    QCOMPARE(m_drive->readFile(paths::DataFile), data);
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(2));
    QVERIFY(!files::fileExists(notes::pathFor(3)));
    QCOMPARE(CurrentRecord, before);
    QCOMPARE(m_boxes.notesText(), u"typed"_s);
    checkSeals();
}

void TestDataFunctions::missingDataFile_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("save") << true;
    QTest::newRow("load") << false;
}

void TestDataFunctions::missingDataFile()
{
    QFETCH(bool, save);

    layOut(*m_drive, indexBytes(2), records({1, 2}));
    files::setAttributes(paths::DataFile, 0);
    files::deleteFile(paths::DataFile);
    CurrentRecord = recordOf("Lost", 3);

    try {
        if (save)
            Data_Functions::SaveRecord(paths::DataFile, 3, u"R"_s, QString());
        else
            Data_Functions::LoadRecord(paths::DataFile, 2, u"R"_s);
        QFAIL("a missing data file went unnoticed");
    } catch (const platform::FileError &e) {
        QCOMPARE(e.path(), paths::DataFile);
        QVERIFY(!e.reason().isEmpty());
        QVERIFY2(e.message().contains(paths::DataFile), qPrintable(e.message()));
    }
    QVERIFY(!files::fileExists(paths::DataFile));
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(2));
    QCOMPARE(files::attributes(paths::IndexFile), 5);
}

void TestDataFunctions::textRecordNumber()
{
    layOut(*m_drive, indexBytes(2), records({1, 2}));
    CurrentRecord = recordOf("Text", 3);
    Data_Functions::SaveRecord(paths::DataFile, CurrentRecord.ContactID.text(), u"R"_s, QString());
    QCOMPARE(m_drive->readFile(paths::DataFile).mid(498), recordBytes("Text", 3));
    QCOMPARE(m_drive->readFile(paths::IndexFile), indexBytes(3));

    Data_Functions::LoadRecord(paths::DataFile, u"2     "_s, u"R"_s);
    QCOMPARE(CurrentRecord, recordOf("Name2", 2));
    QVERIFY_THROWS_EXCEPTION(DataError,
                             Data_Functions::LoadRecord(paths::DataFile, u"two"_s, u"R"_s));
    QCOMPARE(CurrentRecord, recordOf("Name2", 2));
}

void TestDataFunctions::collectShowingFirst()
{
    CurrentRecord = sampleContact();
    m_boxes.setNotesText(u"notes"_s);
    m_boxes.setBoxLocked(FieldBox::City, true);
    m_boxes.calls.clear();

    Data_Functions::CollectFields(true);
    QCOMPARE(CurrentRecord, sampleContact());
    QCOMPARE(m_boxes.boxText(FieldBox::FirstName), u"Tobin     "_s);
    QCOMPARE(m_boxes.boxText(FieldBox::PagerMobile), QString(12, u' '));
    QCOMPARE(m_boxes.boxText(FieldBox::FaxOrEmail), u"800.555.0199                  "_s);
    for (FieldBox box : allBoxes)
        QCOMPARE(m_boxes.boxText(box), sampleContact().fieldText(box));
    QCOMPARE(m_boxes.notesText(), u"notes"_s);
    QVERIFY(m_boxes.isBoxLocked(FieldBox::City));
    QVERIFY(!m_boxes.isBoxLocked(FieldBox::FirstName));

    const QStringList order = {u"text 0"_s, u"text 1"_s, u"text 3"_s, u"text 2"_s,
                               u"text 4"_s, u"text 5"_s, u"text 6"_s, u"text 7"_s,
                               u"text 8"_s, u"text 9"_s, u"text 10"_s};
    QCOMPARE(m_boxes.calls, order);
}

void TestDataFunctions::collectTyped_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");

    QTest::newRow("first name padded") << int(FieldBox::FirstName) << u"Tobin"_s << u"Tobin     "_s;
    QTest::newRow("state cut to two") << int(FieldBox::State) << u"NYC"_s << u"NY"_s;
    QTest::newRow("empty fax is spaces")
        << int(FieldBox::FaxOrEmail) << QString() << QString(30, u' ');
    QTest::newRow("company cut to forty")
        << int(FieldBox::Company) << QString(55, u'c') << QString(40, u'c');
    QTest::newRow("address exact width")
        << int(FieldBox::Address) << QString(50, u'a') << QString(50, u'a');
    QTest::newRow("pager mobile") << int(FieldBox::PagerMobile) << u"555.0100"_s
                                  << u"555.0100    "_s;
}

void TestDataFunctions::collectTyped()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, field);

    CurrentRecord = sampleContact();
    for (FieldBox b : allBoxes)
        m_boxes.setBoxText(b, sampleContact().fieldText(b).trimmed());
    m_boxes.setBoxText(FieldBox(box), typed);
    m_boxes.calls.clear();

    Data_Functions::CollectFields(false);
    ContactRecord expected = sampleContact();
    expected.setField(FieldBox(box), typed);
    QCOMPARE(CurrentRecord.fieldText(FieldBox(box)), field);
    QCOMPARE(CurrentRecord, expected);
    // The boxes keep what was typed; ContactID and DataType are not the boxes' to set.
    QCOMPARE(m_boxes.boxText(FieldBox(box)), typed);
    QCOMPARE(m_boxes.calls, QStringList());
    QCOMPARE(CurrentRecord.ContactID.text(), u"1     "_s);
    QCOMPARE(CurrentRecord.DataType, sampleContact().DataType);
}

void TestDataFunctions::setAllFields_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("text");

    QTest::newRow("lock with x") << true << u"x"_s;
    QTest::newRow("lock empty") << true << QString();
    QTest::newRow("unlock empty") << false << QString();
}

void TestDataFunctions::setAllFields()
{
    QFETCH(bool, locked);
    QFETCH(QString, text);

    CurrentRecord = sampleContact();
    m_boxes.setNotesText(u"notes stay"_s);
    for (FieldBox box : allBoxes) {
        m_boxes.setBoxText(box, u"old"_s);
        m_boxes.setBoxLocked(box, !locked);
    }
    m_boxes.calls.clear();

    Data_Functions::SetAllFields(locked, text);
    for (FieldBox box : allBoxes) {
        QCOMPARE(m_boxes.boxText(box), text);
        QCOMPARE(m_boxes.isBoxLocked(box), locked);
    }
    QCOMPARE(m_boxes.notesText(), u"notes stay"_s);
    QCOMPARE(CurrentRecord, sampleContact());

    QStringList order;
    for (int box : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
        order << u"lock %1"_s.arg(box) << u"text %1"_s.arg(box);
    QCOMPARE(m_boxes.calls, order);
}

QTEST_GUILESS_MAIN(TestDataFunctions)
#include "tst_datafunctions.moc"
