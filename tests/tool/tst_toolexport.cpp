// cardomine-tool export: the files a store made by the program's own code turns into,
// compared with text written out by hand from the vCard and CSV rules.
#include "tests/tool/toolfixture.h"
#include "tool/exportformats.h"

#include <QFile>
#include <QProcess>
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

QByteArray expectedVCard()
{
    return crlf(
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "FN:Ada Lovelace\n"
        "N:Lovelace;Ada;;;\n"
        "ORG:Analytical Engines\\, Ltd.\n"
        "ADR:;;12 St James's Square;London;LN;10001;\n"
        "TEL;TYPE=home:020.555.0101\n"
        "EMAIL:ada@example.org\n"
        "UID;VALUE=text:1\n"
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
        "UID;VALUE=text:2\n"
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
        "UID;VALUE=text:3\n"
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
    QTest::newRow("empty") << QString() << QByteArray("\r\n");
}

void TestToolExport::foldLine()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, folded);
    const QByteArray out = tool::foldLine(line);
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
    QCOMPARE(tool::escapeText(value), escaped);
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

    const ToolRun vcard = runTool(*m_drive, {u"export"_s, u"--format"_s, u"vcard"_s});
    QCOMPARE(vcard.exitCode, 0);
    QCOMPARE(vcard.err, QByteArray());
    // Line by line first, so a failure names the line.
    QCOMPARE(vcard.out.split('\n'), expectedVCard().split('\n'));
    QCOMPARE(vcard.out, expectedVCard());

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
    QCOMPARE(file.readAll(), expectedVCard());
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

QTEST_GUILESS_MAIN(TestToolExport)
#include "tst_toolexport.moc"
