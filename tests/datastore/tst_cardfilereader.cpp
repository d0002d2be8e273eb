// SPDX-License-Identifier: GPL-3.0-or-later
// The card-file reader: which records and notes it gives, what it leaves out, that it
// changes nothing, and what a folder brought in must be before it is read.
#include "datastore/cardfilereader.h"
#include "datastore/dataerror.h"
#include "datastore/indexgrammar.h"
#include "datastore/notesfile.h"
#include "platform/fileerror.h"
#include "storefixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;

namespace {

const QString Notes = u"c:\\Program Files\\Pelvarin\\Contact Notes\\"_s;

// Every file under the drive with its bytes and attributes, to show nothing changed.
QStringList snapshot(const TempDrive &drive)
{
    QStringList out;
    const QString root = drive.native(paths::DataFolder);
    for (const QString &name : {u"Index.tbl"_s, u"Cardomine.Dat"_s}) {
        const QString path = paths::DataFolder + u'\\' + name;
        out.append(name + u' ' + QString::number(files::attributes(path)) + u' ' +
                   QString::fromLatin1(drive.readFile(path).toHex()));
    }
    for (const QString &name : QDir(root).entryList(QDir::AllEntries | QDir::Hidden |
                                                    QDir::NoDotAndDotDot | QDir::System))
        out.append(name);
    return out;
}

} // namespace

class TestCardFileReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { resetStore(); }

    void records_data()
    {
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QList<int>>("contacts"); // positions given
        QTest::addColumn<QList<int>>("blank");    // positions left out

        const QByteArray spaces(ContactRecord::Length, ' ');
        const QByteArray nuls(ContactRecord::Length, '\0');
        QTest::newRow("random, up to the count")
            << indexBytes(3)
            << recordBytes("Ada", 1) + recordBytes("Bo", 2) + recordBytes("Cy", 3) +
                   recordBytes("Past", 4)
            << QList<int>{1, 2, 3} << QList<int>{};
        QTest::newRow("random, spaces and NULs are blank")
            << indexBytes(4) << recordBytes("Ada", 1) + spaces + nuls + recordBytes("Di", 4)
            << QList<int>{1, 4} << QList<int>{2, 3};
        QTest::newRow("random, past the end reads blank")
            << indexBytes(2) << recordBytes("Ada", 1) << QList<int>{1} << QList<int>{2};
        // Only the type written, or nothing but a number's box left empty.
        QByteArray typeOnly = spaces;
        typeOnly.replace(ContactRecord::Length - 8, 8, "Contacts");
        ContactRecord noNumber = recordOf("Nemo", 2);
        noNumber.ContactID = QString();
        QTest::newRow("random, a type alone is blank, a record without number is not")
            << indexBytes(3) << recordBytes("Ada", 1) + noNumber.toRandomBytes() + typeOnly
            << QList<int>{1, 2} << QList<int>{3};
        QByteArray sequential;
        for (int n = 1; n <= 2; ++n) {
            ContactRecord r = recordOf("Seq", n);
            for (const QString &line : r.toSequentialLines())
                sequential += line.toLatin1() + "\r\n";
        }
        QTest::newRow("sequential, lines over a record left out")
            << indexBytes(1, "S") << sequential + "a\r\nb\r\n"
            << QList<int>{1, 2} << QList<int>{};
    }
    void records()
    {
        QFETCH(QByteArray, index);
        QFETCH(QByteArray, data);
        QFETCH(QList<int>, contacts);
        QFETCH(QList<int>, blank);
        TempDrive drive;
        layOut(drive, index, data);
        const QStringList before = snapshot(drive);

        const cardfile::CardFile card = cardfile::read();
        QList<int> positions;
        for (const cardfile::Contact &contact : card.contacts) {
            positions.append(contact.position);
            if (const std::optional<int> number = contact.record.contactNumber())
                QCOMPARE(*number, contact.position);
        }
        QCOMPARE(positions, contacts);
        QCOMPARE(card.blankPositions, blank);

        // Reading the numbers only finds the same numbers and blanks as a whole read.
        for (const cardfile::Extent extent :
             {cardfile::Extent::UpToCount, cardfile::Extent::WholeFile}) {
            const cardfile::CardFile whole = cardfile::read({.extent = extent});
            const cardfile::CardFile numbers =
                cardfile::read({.extent = extent,
                                .records = cardfile::RecordText::NumberOnly,
                                .notesFileFacts = false});
            QList<std::optional<int>> expected;
            for (const cardfile::Contact &contact : whole.contacts) {
                while (expected.size() + 1 < contact.position)
                    expected.append(std::nullopt);
                expected.append(contact.record.contactNumber());
            }
            while (expected.size() < whole.contacts.size() + whole.blankPositions.size())
                expected.append(std::nullopt);
            QCOMPARE(numbers.numbers, expected);
            QCOMPARE(numbers.blankPositions, whole.blankPositions);
        }
        // Reading takes no lock and changes nothing: no attribute, no new file.
        QCOMPARE(snapshot(drive), before);
    }

    void blankRecordBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray record(ContactRecord::Length, ' ');
        QTest::newRow("spaces") << record;
        QTest::newRow("cut short") << QByteArray(40, ' ');
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("NUL bytes") << QByteArray(ContactRecord::Length, '\0');
        for (const qsizetype at :
             {qsizetype(0), qsizetype(160), qsizetype(228), qsizetype(229), qsizetype(248)}) {
            for (const char byte : {'x', '\xa0', '\t'}) {
                QByteArray one = record;
                one[at] = byte;
                QTest::addRow("byte %d at %lld", int(byte), qlonglong(at)) << one;
            }
        }
        QTest::newRow("a name only") << recordBytes("Ada", 0);
    }
    // The rule on bytes agrees with the rule on the record they decode to.
    void blankRecordBytes()
    {
        QFETCH(QByteArray, bytes);
        ContactRecord record;
        record.setFromRandomBytes(bytes);
        QCOMPARE(cardfile::isBlankRandomRecord(bytes), cardfile::isBlank(record));
    }

    void notesNumber_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number"); // 0: no notes file's name
        QTest::newRow("plain") << u"7.txt"_s << 7;
        QTest::newRow("upper case") << u"12.TXT"_s << 12;
        QTest::newRow("highest") << u"32767.txt"_s << 32767;
        QTest::newRow("past the highest") << u"32768.txt"_s << 0;
        QTest::newRow("six digits") << u"100000.txt"_s << 0;
        QTest::newRow("zero") << u"0.txt"_s << 0;
        QTest::newRow("leading zero") << u"03.txt"_s << 0;
        QTest::newRow("sign") << u"+3.txt"_s << 0;
        QTest::newRow("space") << u" 3.txt"_s << 0;
        QTest::newRow("no digits") << u".txt"_s << 0;
        QTest::newRow("other digits") << u"\u0663.txt"_s << 0;
        QTest::newRow("other ending") << u"3.text"_s << 0;
        QTest::newRow("letters") << u"3a.txt"_s << 0;
    }
    void notesNumber()
    {
        QFETCH(QString, name);
        QFETCH(int, number);
        QCOMPARE(cardfile::notesNumber(name).value_or(0), number);
    }

    void notesByNumber()
    {
        TempDrive drive;
        layOut(drive, indexBytes(3),
               recordBytes("Ada", 1) + recordBytes("Bo", 2) + recordBytes("Cy", 3));
        drive.writeFile(Notes + u"1.TXT"_s, "upper case\r\n");
        drive.writeFile(Notes + u"2.Txt"_s, "other spelling\r\n");
        drive.writeFile(Notes + u"2.txt"_s, "as written\r\n");
        drive.writeFile(Notes + u"03.txt"_s, "not the name of contact 3\r\n");
        QFile secret(drive.root() + u"/secret"_s);
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("private key") > 0);
        secret.close();
        QVERIFY(QFile::link(secret.fileName(), drive.native(Notes + u"3.txt"_s)));

        // Listed with each file's facts or with its kind only, alike.
        for (const bool facts : {true, false}) {
            const cardfile::CardFile card = cardfile::read({.notesFileFacts = facts});
            QCOMPARE(card.contacts.size(), 3);
            QCOMPARE(card.contacts.at(0).notes, u"upper case"_s);
            QCOMPARE(card.contacts.at(1).notes, u"as written"_s);
            QCOMPARE(card.duplicateNotes, QStringList{u"2.Txt"_s});
            QCOMPARE(card.contacts.at(2).notes, QString()); // never read through the link
            QCOMPARE(card.otherNotesFiles, QStringList{u"03.txt"_s});
            QVERIFY(card.warnings.join(u'\n').contains(u"3.txt"_s));
            QCOMPARE(card.notesFiles.value(1).size, facts ? 12 : 0);
        }
    }

    void grammar_data()
    {
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QString>("fault"); // empty: the index is as the program writes it

        QTest::newRow("as created") << indexBytes(1) << QString();
        QTest::newRow("two types, sequential")
            << crlfLines({"Num_Of_Types=2", "Data_Type=Contacts", "Data_Type=Friends",
                          "Num_Of_Records=17", "File_Type=S"})
            << QString();
        QTest::newRow("lone LF") << QByteArray("Num_Of_Types=1\nData_Type=Contacts\r\n")
                                 << u"line 1 ends in a lone CR or LF, not CR LF"_s;
        QTest::newRow("two digits of types")
            << crlfLines(
                   {"Num_Of_Types=10", "Data_Type=Contacts", "Num_Of_Records=1", "File_Type=R"})
            << u"line 1 \"Num_Of_Types=10\" is not \"Num_Of_Types=\" followed by one digit"_s;
        QTest::newRow("type taken for the file type")
            << crlfLines({"Num_Of_Types=1", "Data_Type=VIPS", "Num_Of_Records=1", "File_Type=R"})
            << u"line 2: the type name \"VIPS\" ends in an upper-case S, which the program would "
               u"take for the file type"_s;
        QTest::newRow("comma") << crlfLines({"Num_Of_Types=1", "Data_Type=A,B", "Num_Of_Records=1",
                                             "File_Type=R"})
                               << u"line 2 \"Data_Type=A,B\" holds a comma or a quotation mark, "
                                  u"which would split it in two"_s;
        QTest::newRow("seven digits of count")
            << crlfLines({"Num_Of_Types=1", "Data_Type=Contacts", "Num_Of_Records=1000000",
                          "File_Type=R"})
            << u"line 3 \"Num_Of_Records=1000000\" is not \"Num_Of_Records=\" followed by the "
               u"record count"_s;
        QTest::newRow("line after the file type")
            << indexBytes(1) + "\r\n"
            << u"line 5 follows the file-type line; the file ends there"_s;
    }
    void grammar()
    {
        QFETCH(QByteArray, index);
        QFETCH(QString, fault);
        QCOMPARE(indexfile::grammarFault(index).value_or(QString()), fault);
    }

    // A folder brought in is refused, naming the file, before anything of it is read.
    void folderRefused_data()
    {
        QTest::addColumn<QString>("make"); // what is wrong with the folder
        QTest::addColumn<QString>("file"); // the file named
        QTest::addColumn<QString>("problem");
        QTest::newRow("notes file is a link")
            << u"link"_s << u"Contact Notes/1.txt"_s << u"it is a symbolic link"_s;
        QTest::newRow("notes file over the limit")
            << u"big"_s << u"Contact Notes/1.txt"_s << u"more than the"_s;
        QTest::newRow("index in two spellings")
            << u"twice"_s << QString() << u"Index.tbl and index.tbl"_s;
        QTest::newRow("index with a stray line")
            << u"grammar"_s << u"Index.tbl"_s << u"follows the file-type line"_s;
    }
    void folderRefused()
    {
        QFETCH(QString, make);
        QFETCH(QString, file);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        const auto write = [&dir](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        QVERIFY(QDir(dir.path()).mkdir(u"Contact Notes"_s));
        write(u"Cardomine.Dat"_s, recordBytes("Ada", 1));
        write(u"Index.tbl"_s, indexBytes(1) + (make == u"grammar" ? "x\r\n" : ""));
        if (make == u"twice")
            write(u"index.tbl"_s, indexBytes(1));
        if (make == u"link")
            QVERIFY(QFile::link(dir.filePath(u"Cardomine.Dat"_s),
                                dir.filePath(u"Contact Notes/1.txt"_s)));
        if (make == u"big") {
            write(u"Contact Notes/1.txt"_s, QByteArray());
            QVERIFY(QFile::resize(dir.filePath(u"Contact Notes/1.txt"_s), notes::ReadLimit + 1));
        }
        try {
            cardfile::readFolder(dir.path());
            QFAIL("the folder was read");
        } catch (const DataError &error) {
            QCOMPARE(error.path(), file.isEmpty() ? dir.path() : dir.filePath(file));
            QVERIFY2(error.problem().contains(problem), qPrintable(error.problem()));
        }
    }
};

QTEST_GUILESS_MAIN(TestCardFileReader)
#include "tst_cardfilereader.moc"
