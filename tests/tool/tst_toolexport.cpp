// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool export: the files a store made by the program's own code turns into,
// compared with text written out by hand from the vCard and CSV rules.
#include "interchange/cardfileid.h"
#include "interchange/exportformats.h"
#include "tests/tool/toolfixture.h"

#include "datastore/notesfile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

namespace {

QByteArray crlf(const QByteArray &lines)
{
    QByteArray out = lines;
    out.replace("\n", "\r\n");
    return out;
}

QByteArray expectedVCard(const QUuid &cardFile)
{
    const auto uid = [&](int n) { return interchange::contactUid(cardFile, n).toUtf8(); };
    return crlf(
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "FN:Ada Lovelace\n"
        "N:Lovelace;Ada;;;\n"
        "ORG:Analytical Engines\\, Ltd.\n"
        "ADR:;;12 St James's Square;London;LN;10001;\n"
        "TEL;TYPE=home:020.555.0101\n"
        "EMAIL:ada@example.org\n"
        "UID:" +
        uid(1) +
        "\n"
        "END:VCARD\n"
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "FN:\xc3\x89mile Zola\n"
        "N:Zola;\xc3\x89mile;;;\n"
        "ORG:Caf\xc3\xa9 \xe2\x82\xacuro\\; Paris\n"
        "ADR:;;1 Rue de la Paix;Paris;FR;75002;\n"
        "TEL;TYPE=work:01.555.0199\n"
        "TEL;TYPE=cell:06.555.0123\n"
        "TEL;TYPE=fax:01.555.0198\n"
        // Exactly 75 octets up to the space after "bonjour", counting "€" as 3 and
        // "é" as 2.
        "NOTE:Prefers letters.\\nPrice: 5 \xe2\x82\xac per visit\\, caf\xc3\xa9 at 9\\nSays "
        "\"bonjour\" \n"
        " \\\\ waves\n"
        "UID:" +
        uid(2) +
        "\n"
        "END:VCARD\n"
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "FN:Zo\xc3\xab Bront\xc3\xab\n"
        "N:Bront\xc3\xab;Zo\xc3\xab;;;\n"
        "ORG:Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale d'\xc3\x89lectricit\xc3\xa9 du "
        "Nord\n"
        "ADR:;;Apartment 4\\, 221 Long Road Near The Old Mill Pond;Haworth;WY;BD228;\n"
        "TEL;TYPE=home:555.0100\n"
        "TEL;TYPE=work:555.0101\n"
        "TEL;TYPE=cell:555.0102\n"
        // 20 octets of text, then 11 pairs of a 3-octet and a 2-octet character
        // make exactly 75; the next line has room for 73 octets after its space,
        // which would split an "é", so it stops after 14 pairs and a "€".
        "NOTE:Meeting notes: " +
        QString(u"€é"_s.repeated(11)).toUtf8() + "\n " +
        QString(u"€é"_s.repeated(14) + u"€"_s).toUtf8() + "\n " +
        QString(u"é"_s + u"€é"_s.repeated(4) + u"\\nSecond line."_s).toUtf8() + "\n" +
        "UID:" + uid(3) +
        "\n"
        "END:VCARD\n");
}

// Line breaks inside a quoted field are written "|NL|" here, CR LF in the file.
QByteArray expectedCsv(const QByteArray &dataType)
{
    return crlf("FirstName,LastName,Company,Address,City,State,Zip,ContactID,HomePhone,"
                "WorkPhone,PagerMobile,FaxOrEmail,DataType,Notes\n"
                "Ada,Lovelace,\"Analytical Engines, Ltd.\",12 St James's Square,London,LN,10001,1,"
                "020.555.0101,,,ada@example.org," +
                dataType +
                ",\n"
                "\xc3\x89mile,Zola,Caf\xc3\xa9 \xe2\x82\xacuro; Paris,1 Rue de la Paix,Paris,FR,"
                "75002,2,,01.555.0199,06.555.0123,01.555.0198," +
                dataType +
                ",\"Prefers letters.|NL|Price: 5 \xe2\x82\xac per visit, caf\xc3\xa9 at 9|NL|Says "
                "\"\"bonjour\"\" \\ waves\"\n"
                "Zo\xc3\xab,Bront\xc3\xab,Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale "
                "d'\xc3\x89lectricit\xc3\xa9 du Nord,\"Apartment 4, 221 Long Road Near The Old "
                "Mill Pond\",Haworth,WY,BD228,3,555.0100,555.0101,555.0102,," +
                dataType + ",\"Meeting notes: " + QString(u"€é"_s.repeated(30)).toUtf8() +
                "|NL|Second line.\"\n")
        .replace("|NL|", "\r\n");
}

// A random-form card file of the given raw records, with notes by contact number.
void writeCardFile(const TempDrive &drive, const QList<QByteArray> &records,
                   const QHash<int, QByteArray> &notesFiles = {})
{
    namespace files = platform::files;
    files::createFolder(QStringLiteral("c:\\Program Files"));
    files::createFolder(paths::DataFolder);
    files::createFolder(paths::NotesFolder);
    drive.writeFile(paths::IndexFile, "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=" +
                                          QByteArray::number(records.size()) +
                                          "\r\nFile_Type=R\r\n");
    drive.writeFile(paths::DataFile, records.join());
    for (auto it = notesFiles.cbegin(); it != notesFiles.cend(); ++it)
        drive.writeFile(notes::pathFor(it.key()), it.value());
}

QByteArray recordBytes(const QString &first, const QString &last, const QString &company,
                       const QString &id, const QString &home = {}, const QString &work = {},
                       const QString &faxOrEmail = {})
{
    ContactRecord r;
    r.FirstName = first;
    r.LastName = last;
    r.Company = company;
    r.ContactID = id;
    r.HomePhone = home;
    r.WorkPhone = work;
    r.FaxOrEmail = faxOrEmail;
    r.DataType = QStringLiteral("Contacts");
    return r.toRandomBytes();
}

QList<QByteArray> uidsOf(const QByteArray &vcard)
{
    QList<QByteArray> uids;
    for (const QByteArray &line : vcard.split('\n')) {
        if (line.startsWith("UID:"))
            uids.append(line.mid(4).trimmed());
    }
    return uids;
}

} // namespace

class TestToolExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void foldLine_data();
    void foldLine();
    void escapeText_data();
    void escapeText();

    void exportsStoreMadeFolder_data();
    void exportsStoreMadeFolder();
    void vCardParsesBack();
    void exportLeavesFilesAlone();
    void usageAndMissingFolder_data();
    void usageAndMissingFolder();

    void isEmailAddress_data();
    void isEmailAddress();
    void csvCell_data();
    void csvCell();
    void controlCharactersAndFormulasStayInert();
    void everyCardIsNamed_data();
    void everyCardIsNamed();
    void uidsBelongToTheCardFile();

private:
    std::unique_ptr<TempDrive> m_drive;
};

void TestToolExport::init()
{
    m_drive = std::make_unique<TempDrive>();
    QVERIFY(m_drive->isValid());
    CurrentRecord = ContactRecord();
    IndexLines.clear();
}

void TestToolExport::cleanup()
{
    m_drive.reset();
}

void TestToolExport::foldLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("folded");

    const QByteArray x73(73, 'x');
    const QByteArray x74(74, 'x');
    const QByteArray x75(75, 'x');
    QTest::newRow("75 octets stay one line") << QString::fromLatin1(x75) << x75 + "\r\n";
    QTest::newRow("76 octets fold after 75")
        << QString::fromLatin1(x75 + "y") << x75 + "\r\n y\r\n";
    QTest::newRow("two-octet character across the limit")
        << QString::fromLatin1(x74) + u"é"_s << x74 + "\r\n \xc3\xa9\r\n";
    QTest::newRow("three-octet character across the limit")
        << QString::fromLatin1(x73) + u"€"_s << x73 + "\r\n \xe2\x82\xac\r\n";
    QTest::newRow("three-octet character ending at the limit")
        << QString::fromLatin1(QByteArray(72, 'x')) + u"€y"_s
        << QByteArray(72, 'x') + "\xe2\x82\xac\r\n y\r\n";
    QTest::newRow("continuation lines hold 74 octets after their space")
        << QString::fromLatin1(QByteArray(200, 'z'))
        << QByteArray(75, 'z') + "\r\n " + QByteArray(74, 'z') + "\r\n " + QByteArray(51, 'z') +
               "\r\n";
    QTest::newRow("an escape is not split")
        << QString::fromLatin1(x74) + u"\\ny"_s << x74 + "\r\n \\ny\r\n";
    QTest::newRow("an escaped backslash may end a line")
        << QString::fromLatin1(x73) + u"\\\\y"_s << x73 + "\\\\\r\n y\r\n";
    QTest::newRow("empty") << QString() << QByteArray("\r\n");
}

void TestToolExport::foldLine()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, folded);
    const QByteArray out = interchange::foldLine(line);
    QCOMPARE(out, folded);
    // Unfolding (dropping CR LF and one space) gives back the line.
    QByteArray unfolded = out;
    unfolded.replace("\r\n ", "");
    unfolded.chop(2);
    QCOMPARE(QString::fromUtf8(unfolded), line);
}

void TestToolExport::escapeText_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << u"Paris"_s << u"Paris"_s;
    QTest::newRow("comma and semicolon") << u"a,b;c"_s << u"a\\,b\\;c"_s;
    QTest::newRow("backslash") << u"C:\\notes"_s << u"C:\\\\notes"_s;
    QTest::newRow("CR LF, CR and LF") << u"1\r\n2\r3\n4"_s << u"1\\n2\\n3\\n4"_s;
}

void TestToolExport::escapeText()
{
    QFETCH(QString, value);
    QFETCH(QString, escaped);
    QCOMPARE(interchange::escapeText(value), escaped);
}

void TestToolExport::exportsStoreMadeFolder_data()
{
    QTest::addColumn<QString>("fileType");
    QTest::newRow("random form") << u"R"_s;
    QTest::newRow("sequential form") << u"S"_s;
}

void TestToolExport::exportsStoreMadeFolder()
{
    QFETCH(QString, fileType);
    makeToolStore(*m_drive, fileType);

    QVERIFY(!interchange::readCardFileId());
    const ToolRun vcard = runTool(*m_drive, {u"export"_s, u"--format"_s, u"vcard"_s});
    QCOMPARE(vcard.exitCode, 0);
    QCOMPARE(vcard.err, QByteArray());
    // The export gave the card file its identifier; the UIDs are made from it.
    const std::optional<QUuid> cardFile = interchange::readCardFileId();
    QVERIFY(cardFile);
    const QByteArray expectedVCard = ::expectedVCard(*cardFile);
    // Line by line first, so a failure names the line.
    QCOMPARE(vcard.out.split('\n'), expectedVCard.split('\n'));
    QCOMPARE(vcard.out, expectedVCard);

    // The sequential form keeps no type; the reader gives every record "Contacts".
    const ToolRun csv = runTool(*m_drive, {u"export"_s, u"--format=csv"_s});
    QCOMPARE(csv.exitCode, 0);
    QCOMPARE(csv.out.split('\n'), expectedCsv("Contacts").split('\n'));
    QCOMPARE(csv.out, expectedCsv("Contacts"));

    const QString output = m_drive->root() + u"/out.vcf"_s;
    const ToolRun toFile =
        runTool(*m_drive, {u"export"_s, u"--format"_s, u"vcard"_s, u"--output"_s, output});
    QCOMPARE(toFile.exitCode, 0);
    QCOMPARE(toFile.out, QByteArray());
    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expectedVCard);
}

void TestToolExport::vCardParsesBack()
{
    const QString python = QStringLiteral(CARDOMINE_VOBJECT_PYTHON);
    if (python.isEmpty())
        QFAIL("no python3 with the vobject module (Debian: python3-vobject) was found");
    makeToolStore(*m_drive, u"R"_s);
    const QString output = m_drive->root() + u"/contacts.vcf"_s;
    QCOMPARE(
        runTool(*m_drive, {u"export"_s, u"--format"_s, u"vcard"_s, u"--output"_s, output}).exitCode,
        0);

    QProcess parser;
    parser.start(python, {QStringLiteral(CARDOMINE_PARSE_SCRIPT), output});
    QVERIFY(parser.waitForFinished(60000));
    const QByteArray messages = parser.readAllStandardOutput() + parser.readAllStandardError();
    QVERIFY2(parser.exitStatus() == QProcess::NormalExit && parser.exitCode() == 0,
             messages.constData());
    QVERIFY2(messages.contains("3 cards"), messages.constData());
}

void TestToolExport::exportLeavesFilesAlone()
{
    makeToolStore(*m_drive, u"R"_s);
    namespace files = platform::files;
    const QByteArray index = m_drive->readFile(paths::IndexFile);
    const QByteArray data = m_drive->readFile(paths::DataFile);
    QCOMPARE(runTool(*m_drive, {u"export"_s, u"--format"_s, u"csv"_s}).exitCode, 0);
    QCOMPARE(files::attributes(paths::IndexFile), 5);
    QCOMPARE(files::attributes(paths::DataFile), 7);
    QCOMPARE(m_drive->readFile(paths::IndexFile), index);
    QCOMPARE(m_drive->readFile(paths::DataFile), data);
}

void TestToolExport::usageAndMissingFolder_data()
{
    QTest::addColumn<bool>("withFolder");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("no command") << true << QStringList() << 2 << QByteArray("one command");
    QTest::newRow("unknown command") << true << QStringList{u"frobnicate"_s} << 2
                                     << QByteArray("unknown command \"frobnicate\"");
    QTest::newRow("no format") << true << QStringList{u"export"_s} << 2
                               << QByteArray("--format vcard or --format csv");
    QTest::newRow("unknown format") << true << QStringList{u"export"_s, u"--format"_s, u"ldif"_s}
                                    << 2 << QByteArray("--format vcard or --format csv");
    QTest::newRow("unknown option")
        << true << QStringList{u"check"_s, u"--fix"_s} << 2 << QByteArray("fix");
    QTest::newRow("missing data folder")
        << false << QStringList{u"export"_s, u"--format"_s, u"csv"_s} << 1
        << QByteArray("there is no data folder at");
    QTest::newRow("output into a missing folder")
        << true
        << QStringList{u"export"_s, u"--format"_s, u"csv"_s, u"--output"_s,
                       u"/nonexistent-folder/x.csv"_s}
        << 1 << QByteArray("Cannot write /nonexistent-folder/x.csv");
}

void TestToolExport::usageAndMissingFolder()
{
    QFETCH(bool, withFolder);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    if (withFolder)
        makeToolStore(*m_drive, u"R"_s);
    const ToolRun run = runTool(*m_drive, arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), run.err.constData());
    QCOMPARE(run.out, QByteArray());
}

void TestToolExport::isEmailAddress_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("email");
    QTest::newRow("plain") << u"ann@example.org"_s << true;
    QTest::newRow("dots, tag and subdomain") << u"ann.lee+work@mail.example.org"_s << true;
    QTest::newRow("letters beyond ASCII") << u"josé@correo.es"_s << true;
    QTest::newRow("no local part") << u"@example.org"_s << false;
    QTest::newRow("no domain") << u"ann@"_s << false;
    QTest::newRow("one-label domain") << u"ann@example"_s << false;
    QTest::newRow("two at signs") << u"ann@home@example.org"_s << false;
    QTest::newRow("a space") << u"ann @example.org"_s << false;
    QTest::newRow("words around it") << u"fax 555 or ann@example.org"_s << false;
    QTest::newRow("two addresses") << u"a@example.org,b@example.org"_s << false;
    QTest::newRow("empty label") << u"ann@example..org"_s << false;
    QTest::newRow("leading dot") << u".ann@example.org"_s << false;
    QTest::newRow("label starting with a hyphen") << u"ann@-example.org"_s << false;
}

void TestToolExport::isEmailAddress()
{
    QFETCH(QString, value);
    QFETCH(bool, email);
    QCOMPARE(interchange::isEmailAddress(value), email);
}

void TestToolExport::csvCell_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("cell");
    QTest::newRow("formula") << u"=HYPERLINK(\"http://x.example\",\"x\")"_s
                             << u"\"'=HYPERLINK(\"\"http://x.example\"\",\"\"x\"\")\""_s;
    QTest::newRow("plus") << u"+SUM(1,2)"_s << u"\"'+SUM(1,2)\""_s;
    QTest::newRow("minus sum") << u"-2+3"_s << u"'-2+3"_s;
    QTest::newRow("at") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s;
    QTest::newRow("tab") << u"\tcmd"_s << u"'\tcmd"_s;
    QTest::newRow("carriage return") << u"\r\nnotes"_s << u"\"'\r\nnotes\""_s;
    QTest::newRow("a lone minus") << u"-"_s << u"'-"_s;
    QTest::newRow("international phone") << u"+44 20 7946 0958"_s << u"+44 20 7946 0958"_s;
    QTest::newRow("phone with a minus") << u"-555-0100"_s << u"-555-0100"_s;
    QTest::newRow("phone with brackets") << u"+1 (555) 010-0100"_s << u"+1 (555) 010-0100"_s;
    QTest::newRow("e-mail address") << u"ann@example.org"_s << u"ann@example.org"_s;
    QTest::newRow("equals inside") << u"a=b"_s << u"a=b"_s;
    QTest::newRow("comma") << u"Smith, Ann"_s << u"\"Smith, Ann\""_s;
}

void TestToolExport::csvCell()
{
    QFETCH(QString, value);
    QFETCH(QString, cell);
    QCOMPARE(interchange::csvCell(value), cell);
}

void TestToolExport::controlCharactersAndFormulasStayInert()
{
    // Record 1 holds every control character in its fields and notes (a name padded
    // with NULs, as a torn write leaves it); record 2 is all NULs; record 3 comes
    // after them and carries a formula.
    QString controls;
    for (char16_t c = 0; c < 0x20; ++c) {
        if (c != u'\t' && c != u'\r' && c != u'\n')
            controls += QChar(c);
    }
    controls += QChar(0x7F);
    const QByteArray ada =
        recordBytes(u"Ada"_s + QString(7, QChar(0)), u"Love"_s + QChar(0x1B) + u"lace"_s,
                    u"Acme"_s + QChar(0x1A), u"1"_s, u"555"_s + QChar(0x0C) + u".0100"_s);
    const QByteArray bea = recordBytes(u"Bea"_s, QString(), u"=HYPERLINK(\"http://e.example\")"_s,
                                       u"3"_s, u"+1 555 0100"_s, u"-555-0100"_s);
    writeCardFile(*m_drive, {ada, QByteArray(ContactRecord::Length, '\0'), bea},
                  {{1, (u"Line"_s + controls + u"end\r\n"_s).toLatin1()}});

    const ToolRun vcard = runTool(*m_drive, {u"export"_s, u"--format"_s, u"vcard"_s});
    const ToolRun csv = runTool(*m_drive, {u"export"_s, u"--format"_s, u"csv"_s});
    for (const ToolRun *run : {&vcard, &csv}) {
        QCOMPARE(run->exitCode, 0);
        QVERIFY2(run->err.contains("record 2 is blank"), run->err.constData());
        for (const char byte : run->out) {
            const auto b = static_cast<unsigned char>(byte);
            QVERIFY2((b >= 0x20 && b != 0x7F) || b == '\t' || b == '\r' || b == '\n',
                     qPrintable(u"control byte 0x%1 in the export"_s.arg(b, 2, 16)));
        }
    }
    QCOMPARE(vcard.out.count("BEGIN:VCARD"), 2);
    for (const QByteArray &line : {QByteArray("FN:Ada Lovelace\r\n"), QByteArray("ORG:Acme\r\n"),
                                   QByteArray("TEL;TYPE=home:555.0100\r\n"),
                                   QByteArray("NOTE:Lineend\r\n"), QByteArray("FN:Bea\r\n")})
        QVERIFY2(vcard.out.contains(line), line.constData());
    const QList<QByteArray> rows = csv.out.split('\n');
    QCOMPARE(rows.size(), 4); // header, two contacts, nothing after the last CR LF
    QVERIFY2(rows.at(1).startsWith("Ada,Lovelace,Acme,,,,,1,555.0100,"), rows.at(1).constData());
    QVERIFY2(rows.at(2).startsWith("Bea,,\"'=HYPERLINK(\"\"http://e.example\"\")\",,,,,3,"
                                   "+1 555 0100,-555-0100,"),
             rows.at(2).constData());
}

void TestToolExport::everyCardIsNamed_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("faxOrEmail");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("faxLine"); // empty: neither EMAIL nor TEL;TYPE=fax

    QTest::newRow("company only") << u"Acme"_s << QString() << QString() << QByteArray("Acme")
                                  << QByteArray();
    QTest::newRow("phone only") << QString() << u"555.0100"_s << QString() << QByteArray("555.0100")
                                << QByteArray();
    QTest::newRow("e-mail address only")
        << QString() << QString() << u"ann@example.org"_s << QByteArray("ann@example.org")
        << QByteArray("EMAIL:ann@example.org");
    QTest::newRow("number only") << QString() << QString() << QString() << QByteArray("Contact 4")
                                 << QByteArray();
    QTest::newRow("fax with an at sign")
        << u"Acme"_s << QString() << u"555-0100 @ office"_s << QByteArray("Acme")
        << QByteArray("TEL;TYPE=fax:555-0100 @ office");
    QTest::newRow("two addresses")
        << u"Acme"_s << QString() << u"a@example.org,b@example.org"_s << QByteArray("Acme")
        << QByteArray("TEL;TYPE=fax:a@example.org\\,b@example.org");
}

void TestToolExport::everyCardIsNamed()
{
    QFETCH(QString, company);
    QFETCH(QString, home);
    QFETCH(QString, faxOrEmail);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, faxLine);
    writeCardFile(*m_drive, {recordBytes(QString(), QString(), company, u"4"_s, home, QString(),
                                         faxOrEmail)});
    const ToolRun run = runTool(*m_drive, {u"export"_s, u"--format"_s, u"vcard"_s});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QByteArray("\r\nFN:" + name + "\r\nN:;;;;\r\n")),
             run.out.constData());
    if (!faxLine.isEmpty())
        QVERIFY2(run.out.contains(QByteArray("\r\n" + faxLine + "\r\n")), run.out.constData());
    QCOMPARE(run.out.contains("\r\nEMAIL:"), faxLine.startsWith("EMAIL:"));
    QCOMPARE(run.out.contains("\r\nTEL;TYPE=fax:"), faxLine.startsWith("TEL;TYPE=fax:"));
}

void TestToolExport::uidsBelongToTheCardFile()
{
    // Two card files made alike: the same numbers, the same contacts.
    const QString root = m_drive->root();
    const auto exportTo = [](const TempDrive &drive, const QString &file) {
        const ToolRun run =
            runTool(drive, {u"export"_s, u"--format"_s, u"vcard"_s, u"--output"_s, file});
        QFile out(file);
        return run.exitCode == 0 && out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
    };
    makeToolStore(*m_drive, u"R"_s);
    const QByteArray first = exportTo(*m_drive, root + u"/first.vcf"_s);
    const QByteArray again = exportTo(*m_drive, root + u"/again.vcf"_s);
    TempDrive otherDrive;
    QVERIFY(otherDrive.isValid());
    makeToolStore(otherDrive, u"R"_s);
    const QByteArray other = exportTo(otherDrive, root + u"/other.vcf"_s);

    const QList<QByteArray> uids = uidsOf(first);
    QCOMPARE(uids.size(), 3);
    QCOMPARE(QSet<QByteArray>(uids.cbegin(), uids.cend()).size(), 3);
    QCOMPARE(uidsOf(again), uids);
    for (const QByteArray &uid : uidsOf(other))
        QVERIFY2(!uids.contains(uid), uid.constData());

    // khard keeps one card per file and hides a card whose UID another address book
    // already has.
    const QString khard = QStringLiteral(CARDOMINE_KHARD);
    if (khard.isEmpty())
        QFAIL("khard was not found (Debian: khard)");
    QString config = u"[addressbooks]\n"_s;
    for (const auto &[name, vcard] : {std::pair{u"first"_s, first}, std::pair{u"other"_s, other}}) {
        const QString folder = root + u"/books/"_s + name;
        QVERIFY(QDir().mkpath(folder));
        const QList<QByteArray> cards = vcard.split('\n');
        QByteArray card;
        int n = 0;
        for (const QByteArray &line : cards) {
            card += line + '\n';
            if (line.startsWith("END:VCARD")) {
                QFile file(folder + u"/%1.vcf"_s.arg(++n));
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(card) == card.size());
                card.clear();
            }
        }
        config += u"[[%1]]\npath = %2\n"_s.arg(name, folder);
    }
    QVERIFY(QDir().mkpath(root + u"/config/khard"_s));
    QFile conf(root + u"/config/khard/khard.conf"_s);
    QVERIFY(conf.open(QIODevice::WriteOnly) && conf.write(config.toUtf8()) > 0);
    conf.close();
    QProcess list;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, root);
    env.insert(u"XDG_CONFIG_HOME"_s, root + u"/config"_s);
    list.setProcessEnvironment(env);
    list.setStandardInputFile(QProcess::nullDevice());
    list.start(khard, {u"list"_s, u"--parsable"_s});
    QVERIFY(list.waitForFinished(60000));
    const QByteArray listed = list.readAllStandardOutput();
    const QByteArray warnings = list.readAllStandardError();
    QVERIFY2(list.exitCode() == 0 && warnings.isEmpty(), warnings.constData());
    QCOMPARE(listed.count("\tfirst\n"), 3);
    QCOMPARE(listed.count("\tother\n"), 3);
}

QTEST_GUILESS_MAIN(TestToolExport)
#include "tst_toolexport.moc"
