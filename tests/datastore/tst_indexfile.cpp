// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "platform/fileerror.h"
#include "storefixture.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;

class TestIndexFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetStore(); }
    void cleanup() { resetStore(); }

    void createdFile();
    void splitItems_data();
    void splitItems();
    void readTable_data();
    void readTable();
    void countOfEmptyTable();
    void updateCount_data();
    void updateCount();
    void updateCountRefusesBadCount_data();
    void updateCountRefusesBadCount();
    void updateCountMissingFile();

private:
    static void prepareFolder() { makeDataFolder(); }
};

void TestIndexFile::createdFile()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    prepareFolder();

    indexfile::create();
    const QByteArray bytes = drive.readFile(paths::IndexFile);
    QCOMPARE(bytes, QByteArray("Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=1\r\n"
                               "File_Type=R\r\n"));
    QCOMPARE(bytes.size(), 67);
    QCOMPARE(bytes.count("\r\n"), 4);
    QCOMPARE(files::attributes(paths::IndexFile), 5);

    const IndexTable table = indexfile::read();
    QCOMPARE(table.highestEntry(), 3);
    QCOMPARE(table.entry(1), u"Contacts"_s);
    QCOMPARE(table.entry(2), u"Num_Of_Records=1"_s);
    QCOMPARE(table.entry(3), u"File_Type=R"_s);
}

void TestIndexFile::splitItems_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("lines") << u"a\r\nb\r\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("last line without end") << u"a\r\nb"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("comma splits") << u"a,b\r\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("comma at end") << u"a,\r\nb\r\n"_s << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("empty lines") << u"\r\n\r\n"_s << QStringList{QString(), QString()};
    QTest::newRow("leading spaces skipped") << u"   x  \r\n"_s << QStringList{u"x  "_s};
    QTest::newRow("spaces after comma skipped") << u"a,  b"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone LF and CR") << u"a\nb\rc"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("quoted keeps comma") << u"\"a,b\" tail,c\r\n"_s << QStringList{u"a,b"_s, u"c"_s};
    QTest::newRow("unclosed quote ends at line end")
        << u"\"ab\r\nc"_s << QStringList{u"ab"_s, u"c"_s};
}

void TestIndexFile::splitItems()
{
    QFETCH(QString, content);
    QFETCH(QStringList, items);
    QCOMPARE(indexfile::splitItems(content), items);
}

void TestIndexFile::readTable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries"); // entries 1 to highest
    QTest::addColumn<QStringList>("typeNames");
    QTest::addColumn<int>("count"); // -1: DataError
    QTest::addColumn<QString>("fileType");

    QTest::newRow("as created") << indexBytes(1)
                                << QStringList{u"Contacts"_s, u"Num_Of_Records=1"_s,
                                               u"File_Type=R"_s}
                                << QStringList{u"Contacts"_s} << 1 << u"R"_s;
    QTest::newRow("two types, sequential")
        << crlfLines({"Num_Of_Types=2", "Data_Type=Contacts", "Data_Type=Vendors",
                      "Num_Of_Records=12", "File_Type=S"})
        << QStringList{u"Contacts"_s, u"Vendors"_s, u"Num_Of_Records=12"_s, u"File_Type=S"_s}
        << QStringList{u"Contacts"_s, u"Vendors"_s} << 12 << u"S"_s;
    QTest::newRow("characters after the 21st ignored")
        << crlfLines(
               {"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=12    99", "File_Type=R"})
        << QStringList{u"Contacts"_s, u"Num_Of_Records=12    99"_s, u"File_Type=R"_s}
        << QStringList{u"Contacts"_s} << 12 << u"R"_s;
    QTest::newRow("leading spaces skipped")
        << crlfLines(
               {"  Num_Of_Types=1", " Data_Type=Contacts", "   Num_Of_Records=4", " File_Type=S"})
        << QStringList{u"Contacts"_s, u"Num_Of_Records=4"_s, u"File_Type=S"_s}
        << QStringList{u"Contacts"_s} << 4 << u"S"_s;
    QTest::newRow("LF line ends")
        << QByteArray("Num_Of_Types=1\nData_Type=Contacts\nNum_Of_Records=3\nFile_Type=R\n")
        << QStringList{u"Contacts"_s, u"Num_Of_Records=3"_s, u"File_Type=R"_s}
        << QStringList{u"Contacts"_s} << 3 << u"R"_s;
    QTest::newRow("highest count")
        << indexBytes(32767)
        << QStringList{u"Contacts"_s, u"Num_Of_Records=32767"_s, u"File_Type=R"_s}
        << QStringList{u"Contacts"_s} << 32767 << u"R"_s;
    QTest::newRow("count above 32767")
        << indexBytes(32768)
        << QStringList{u"Contacts"_s, u"Num_Of_Records=32768"_s, u"File_Type=R"_s}
        << QStringList{u"Contacts"_s} << -1 << u"R"_s;
    QTest::newRow("count not a number")
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=abc", "File_Type=R"})
        << QStringList{u"Contacts"_s, u"Num_Of_Records=abc"_s, u"File_Type=R"_s}
        << QStringList{u"Contacts"_s} << -1 << u"R"_s;
    QTest::newRow("negative count")
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=-2", "File_Type=R"})
        << QStringList{u"Contacts"_s, u"Num_Of_Records=-2"_s, u"File_Type=R"_s}
        << QStringList{u"Contacts"_s} << -1 << u"R"_s;
    QTest::newRow("empty count") << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts",
                                               "Num_Of_Records=", "File_Type=R"})
                                 << QStringList{u"Contacts"_s, u"Num_Of_Records="_s,
                                                u"File_Type=R"_s}
                                 << QStringList{u"Contacts"_s} << -1 << u"R"_s;
    QTest::newRow("non-digit type count")
        << crlfLines({"Num_Of_Types=x", "Data_Type=Contacts", "Num_Of_Records=1", "File_Type=R"})
        << QStringList{u"Data_Type=Contacts"_s, u"Num_Of_Records=1"_s} << QStringList() << -1
        << u"R"_s;
    QTest::newRow("no file-type line")
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=6"})
        << QStringList{u"Contacts"_s, u"Num_Of_Records=6"_s, QString()}
        << QStringList{u"Contacts"_s} << 6 << u"R"_s;
    QTest::newRow("missing count and type lines")
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts"})
        << QStringList{u"Contacts"_s, QString(), QString()} << QStringList{u"Contacts"_s} << -1
        << u"R"_s;
    QTest::newRow("empty file") << QByteArray() << QStringList{QString(), QString()}
                                << QStringList() << -1 << u"R"_s;
    QTest::newRow("comma splits a type line")
        << crlfLines(
               {"Num_Of_Types=1", "Data_Type=Contacts,Vendors", "Num_Of_Records=3", "File_Type=S"})
        << QStringList{u"Contacts"_s, u"Vendors"_s, u"Num_Of_Records=3"_s}
        << QStringList{u"Contacts"_s} << -1 << u"R"_s;
    QTest::newRow("upper-case type name taken as file type")
        << crlfLines({"Num_Of_Types=1", "Data_Type=VENDORS", "Num_Of_Records=2", "File_Type=R"})
        << QStringList{u"VENDORS"_s, u"Num_Of_Records=2"_s, u"File_Type=R"_s}
        << QStringList{u"VENDORS"_s} << 2 << u"S"_s;
    QTest::newRow("lower-case file type not matched")
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=2", "File_Type=s"})
        << QStringList{u"Contacts"_s, u"Num_Of_Records=2"_s, u"File_Type=s"_s}
        << QStringList{u"Contacts"_s} << 2 << u"R"_s;
}

void TestIndexFile::readTable()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, typeNames);
    QFETCH(int, count);
    QFETCH(QString, fileType);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    drive.writeFile(paths::IndexFile, content);

    const IndexTable table = indexfile::read();
    QStringList got;
    for (int i = 1; i <= table.highestEntry(); ++i)
        got << table.entry(i);
    QCOMPARE(got, entries);
    QCOMPARE(table.typeNames(), typeNames);
    QCOMPARE(indexfile::fileTypeLetter(table), fileType);
    if (count >= 0) {
        QCOMPARE(indexfile::recordCount(table), count);
    } else {
        try {
            const int wrong = indexfile::recordCount(table);
            QFAIL(qPrintable(u"count read as %1"_s.arg(wrong)));
        } catch (const DataError &e) {
            QCOMPARE(e.path(), paths::IndexFile);
        }
    }
}

void TestIndexFile::countOfEmptyTable()
{
    IndexTable table;
    QVERIFY_THROWS_EXCEPTION(DataError, indexfile::recordCount(table));
    QCOMPARE(indexfile::fileType(table), std::nullopt);
    QCOMPARE(indexfile::fileTypeLetter(table), u"R"_s);
}

void TestIndexFile::updateCount_data()
{
    QTest::addColumn<QByteArray>("tableFrom"); // the file IndexLines was read from
    QTest::addColumn<QByteArray>("before");    // the file when the count is updated
    QTest::addColumn<QChar>("type");
    QTest::addColumn<int>("contactId");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("countEntry");

    QTest::newRow("random raises 2 to 3") << indexBytes(2) << indexBytes(2) << QChar(u'R') << 3
                                          << indexBytes(3) << u"Num_Of_Records=3"_s;
    QTest::newRow("random raises 1 to 2") << indexBytes(1) << indexBytes(1) << QChar(u'R') << 2
                                          << indexBytes(2) << u"Num_Of_Records=2"_s;
    QTest::newRow("random equal leaves 3") << indexBytes(3) << indexBytes(3) << QChar(u'R') << 3
                                           << indexBytes(3) << u"Num_Of_Records=3"_s;
    QTest::newRow("random lower leaves 5") << indexBytes(5) << indexBytes(5) << QChar(u'R') << 2
                                           << indexBytes(5) << u"Num_Of_Records=5"_s;
    QTest::newRow("random past 9 to 10") << indexBytes(9) << indexBytes(9) << QChar(u'R') << 10
                                         << indexBytes(10) << u"Num_Of_Records=10"_s;
    QTest::newRow("sequential lowers 7 to 3")
        << indexBytes(7, "S") << indexBytes(7, "S") << QChar(u'S') << 3 << indexBytes(3, "S")
        << u"Num_Of_Records=3"_s;
    QTest::newRow("sequential raises 1 to 2")
        << indexBytes(1, "S") << indexBytes(1, "S") << QChar(u'S') << 2 << indexBytes(2, "S")
        << u"Num_Of_Records=2"_s;
    QTest::newRow("sequential replaces a bad count")
        << indexBytes(1, "S")
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=xyz", "File_Type=S"})
        << QChar(u'S') << 4 << indexBytes(4, "S") << u"Num_Of_Records=4"_s;
    QTest::newRow("text after the count kept when not raised")
        << indexBytes(5)
        << crlfLines(
               {"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=5     old", "File_Type=R"})
        << QChar(u'R') << 4
        << crlfLines(
               {"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=5     old", "File_Type=R"})
        << u"Num_Of_Records=5"_s;
    QTest::newRow("short file padded with an empty line")
        << indexBytes(2) << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=2"})
        << QChar(u'R') << 3
        << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=3", ""})
        << u"Num_Of_Records=3"_s;
    QTest::newRow("empty file written as four empty lines")
        << indexBytes(2) << QByteArray() << QChar(u'R') << 3 << QByteArray("\r\n\r\n\r\n\r\n")
        << u"Num_Of_Records=2"_s;
    QTest::newRow("two types")
        << crlfLines({"Num_Of_Types=2", "Data_Type=Contacts", "Data_Type=Vendors",
                      "Num_Of_Records=2", "File_Type=R"})
        << crlfLines({"Num_Of_Types=2", "Data_Type=Contacts", "Data_Type=Vendors",
                      "Num_Of_Records=2", "File_Type=R"})
        << QChar(u'R') << 8
        << crlfLines({"Num_Of_Types=2", "Data_Type=Contacts", "Data_Type=Vendors",
                      "Num_Of_Records=8", "File_Type=R"})
        << u"Num_Of_Records=8"_s;
}

void TestIndexFile::updateCount()
{
    QFETCH(QByteArray, tableFrom);
    QFETCH(QByteArray, before);
    QFETCH(QChar, type);
    QFETCH(int, contactId);
    QFETCH(QByteArray, after);
    QFETCH(QString, countEntry);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    prepareFolder();
    drive.writeFile(paths::IndexFile, tableFrom);
    IndexLines = indexfile::read();
    drive.writeFile(paths::IndexFile, before);
    files::setAttributes(paths::IndexFile, 5);

    indexfile::updateCount(type, contactId);
    QCOMPARE(drive.readFile(paths::IndexFile), after);
    QCOMPARE(IndexLines.entry(IndexLines.highestEntry() - 1), countEntry);
    QCOMPARE(files::attributes(paths::IndexFile), 5);
}

void TestIndexFile::updateCountRefusesBadCount_data()
{
    QTest::addColumn<QByteArray>("countLine");
    QTest::newRow("letters") << QByteArray("Num_Of_Records=abc");
    QTest::newRow("above 32767") << QByteArray("Num_Of_Records=40000");
    QTest::newRow("empty") << QByteArray("Num_Of_Records=");
}

void TestIndexFile::updateCountRefusesBadCount()
{
    QFETCH(QByteArray, countLine);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    prepareFolder();
    const QByteArray file =
        crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", countLine, "File_Type=R"});
    drive.writeFile(paths::IndexFile, file);
    IndexLines = indexfile::read();
    files::setAttributes(paths::IndexFile, 5);
    const IndexTable tableBefore = IndexLines;

    QVERIFY_THROWS_EXCEPTION(DataError, indexfile::updateCount(u'R', 3));
    QCOMPARE(drive.readFile(paths::IndexFile), file);
    QCOMPARE(files::attributes(paths::IndexFile), 5);
    QCOMPARE(IndexLines.entry(2), tableBefore.entry(2));
}

void TestIndexFile::updateCountMissingFile()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    prepareFolder();
    drive.writeFile(paths::IndexFile, indexBytes(1));
    IndexLines = indexfile::read();
    files::deleteFile(paths::IndexFile);

    try {
        indexfile::updateCount(u'R', 2);
        QFAIL("the update of a missing index file succeeded");
    } catch (const platform::FileError &e) {
        QCOMPARE(e.path(), paths::IndexFile);
        QVERIFY(!e.reason().isEmpty());
    }
    QVERIFY(!files::fileExists(paths::IndexFile));
    QCOMPARE(IndexLines.entry(2), u"Num_Of_Records=1"_s);
}

QTEST_GUILESS_MAIN(TestIndexFile)
#include "tst_indexfile.moc"
