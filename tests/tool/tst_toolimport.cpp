// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool import, run as the user runs it: files written by other programs
// (abook, khard, vobject, Google, Outlook, Thunderbird) and by our own export, checked
// in the stored records byte by byte at the fields' offsets and in the notes files.
#include "datastore/contactphotos.h"
#include "datastore/notesfile.h"
#include "datastore/seal.h"
#include "platform/instancelock.h"
#include "platform/textcodec.h"
#include "tests/datastore/storefixture.h"
#include "tests/tool/toolfixture.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;

namespace {

struct Field
{
    FieldBox box;
    int offset;
    int width;
};

constexpr Field Fields[FieldBoxCount] = {
    {FieldBox::FirstName, 0, 10},    {FieldBox::LastName, 10, 20},
    {FieldBox::Company, 30, 40},     {FieldBox::Address, 70, 50},
    {FieldBox::City, 120, 30},       {FieldBox::State, 150, 2},
    {FieldBox::Zip, 152, 5},         {FieldBox::HomePhone, 163, 12},
    {FieldBox::WorkPhone, 175, 12},  {FieldBox::PagerMobile, 187, 12},
    {FieldBox::FaxOrEmail, 199, 30},
};

QString sample(const char *name)
{
    return QStringLiteral(CARDOMINE_IMPORT_SAMPLES "/") + QLatin1String(name);
}

// The card file as the first run leaves it: the sample contact as record 1.
void firstRunCardFile(const TempDrive &drive)
{
    layOut(drive, indexBytes(1), sampleContact().toRandomBytes());
    notes::writeSample();
}

QByteArray field(const QByteArray &data, int number, int offset, int width)
{
    return data.mid(qsizetype(number - 1) * ContactRecord::Length + offset, width);
}

// A photo's bytes as no text is: every byte value, NULs and line ends among them.
QByteArray photoBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += char((i * 7) % 256);
    return bytes;
}

void writeInput(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray padded(const QString &text, int width)
{
    return platform::text::encode(text).leftJustified(width, ' ', true);
}

} // namespace

class TestToolImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { resetStore(); }

    void samples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("number");        // its record after the sample contact
        QTest::addColumn<QString>("boxes");     // the eleven boxes, "|" between them
        QTest::addColumn<QStringList>("notes"); // lines the notes file must hold

        QTest::newRow("khard 3.0, card 1")
            << sample("khard-3.0.vcf") << 2
            << u"Margarethe|Vandersloot-Okonkwo|Rijksmuseum Conservation Laboratories In|"
               u"Prinsengracht 263|Amsterdam|NH|1016|+31 20 555 0|+31 20 555 0|+31 6 5555 0|"
               u"+31 20 555 0105"_s
            << QStringList{u"Line one, with a comma; and a semicolon"_s,
                           u"Line two \\ backslash"_s,
                           u"Imported values that do not fit a box:"_s,
                           u"Company: Rijksmuseum Conservation Laboratories International"_s,
                           u"Zip: 1016 GV"_s,
                           u"Home phone: +31 20 555 0102"_s,
                           u"Work phone: +31 20 555 0103"_s,
                           u"Mobile or pager: +31 6 5555 0101"_s,
                           u"Extended address: 3 hoog"_s,
                           u"Country: Netherlands"_s,
                           u"Birthday: 1971-04-23"_s,
                           u"Categories: friends,work"_s,
                           u"E-mail (home): grete@example.nl"_s,
                           u"E-mail (work): m.vandersloot@rijks.example.nl"_s,
                           u"Middle name: Ilse"_s,
                           u"Name prefix: Dr."_s,
                           u"Nickname: Grete"_s,
                           u"Department: Paintings"_s,
                           u"Role: Project lead"_s,
                           u"Phone (work): +31 20 555 0104"_s,
                           u"Title: Senior Conservator"_s,
                           u"Web page: https://grete.example.nl"_s};
        QTest::newRow("khard 3.0, card 2")
            << sample("khard-3.0.vcf") << 3
            << u"Ünal|Çelik||||||0212 555 019|||unal@example.com.tr"_s
            << QStringList{u"Home phone: 0212 555 0199"_s};
        QTest::newRow("khard 4.0, tel: URIs and a basic date")
            << sample("khard-4.0.vcf") << 2
            << u"Margarethe|Vandersloot-Okonkwo|Rijksmuseum Conservation Laboratories In|"
               u"Prinsengracht 263|Amsterdam|NH|1016|+31 20 555 0|+31 20 555 0|+31 6 5555 0|"
               u"+31 20 555 0105"_s
            << QStringList{u"Birthday: 19710423"_s, u"Phone (work): +31 20 555 0104"_s};
        QTest::newRow("vobject, a folded address, characters replaced")
            << sample("vobject.vcf") << 3 << u"Th? Minh K|Nguy?n||||||028 5555 012|||"_s
            << QStringList{u"First name: Th? Minh Khai"_s, u"Birthday: 1985-11-02"_s};
        QTest::newRow("vobject, card 1")
            << sample("vobject.vcf") << 2
            << u"Christabel|Oyelaran-Whitfield|Whitfield & Daughters Shipping Company (|"
               u"17 Marina Road, Suite 400, Harbour Tower East Wing|Lagos|LA|10100||"
               u"+234 1 555 0|+234 803 555|christabel@whitfield.example.n"_s
            << QStringList{u"Ships to Apapa port."_s, u"Call before 10:00; ask for \"Chris\"."_s,
                           u"Fax or e-mail: christabel@whitfield.example.ng"_s,
                           u"Title: Managing Director"_s};
        QTest::newRow("abook, vCard without VERSION")
            << sample("abook.vcf") << 2
            << u"Bartholome|Featherstonehaugh||42 Wallaby Way, Flat 3|Sydney|NS|2000|"
               u"+61 2 5550 1|+61 2 5550 9|+61 412 555 |+61 2 5550 1111"_s
            << QStringList{u"Met at the conference; likes tea"_s, u"First name: Bartholomew"_s,
                           u"E-mail: bart@example.org"_s,
                           u"E-mail (1): b.feather@work.example.com"_s,
                           u"Extended address: Second Floor"_s};
        QTest::newRow("hand-written 2.1, quoted-printable UTF-8")
            << sample("handwritten-2.1.vcf") << 2
            << u"Jörg|Müller-Lüdenscheidt|Baeckerei Mueller; Filiale Mitte|Hauptstraße 5|Berlin|"
               u"BE|10115|+49 30 55501|+49 30 55502|+49 171 5550|joerg@example.de"_s
            << QStringList{u"Erste Zeile"_s,
                           u"Zweite Zeile, die in der Datei weich umgebrochen ist."_s,
                           u"Phone (pager): +49 171 5550301"_s};
        QTest::newRow("hand-written 2.1, quoted-printable Windows-1252")
            << sample("handwritten-2.1.vcf") << 3
            << u"Renée|François|||||||+33 1 5555 0||+33 1 5555 0199"_s
            << QStringList{u"Prix: 5 € la pièce"_s, u"E-mail: renee@example.fr"_s,
                           u"X-ANNIVERSARY: 2001-06-16"_s};
        QTest::newRow("Google Contacts CSV")
            << sample("google.csv") << 2
            << u"Priya|Raghunathan|Acme, Inc.|500 Market St|San Francisco|CA|94105|"
               u"+1 415-555-0||+1 415-555-0|+1 415-555-0199"_s
            << QStringList{u"Loves chess."_s, u"Second line with \"quotes\"."_s,
                           u"Phone (Mobile): +1 415-555-0135"_s, u"Labels: Friends"_s,
                           u"E-mail (Home): priya@example.com"_s};
        QTest::newRow("Outlook CSV")
            << sample("outlook.csv") << 2
            << u"Thaddeus|O'Brien|Contoso Ltd|1 Microsoft Way, Building 9|Redmond|WA|98052|"
               u"(425) 555-01|(425) 555-01|(425) 555-01|(425) 555-0199"_s
            << QStringList{u"Prefers e-mail."_s, u"Title: Mr."_s, u"Car Phone: (425) 555-0177"_s,
                           u"E-mail Address: thaddeus@contoso.example.com"_s};
        QTest::newRow("Thunderbird CSV")
            << sample("thunderbird.csv") << 2
            << u"Åsa|Lindqvist|Lindqvist Design AB|Storgatan 1|Stockholm|AB|11122|"
               u"+46 8 555 01|+46 8 555 01|+46 70 555 0|asa@example.se"_s
            << QStringList{u"Secondary Email: asa.l@example.org"_s, u"Birth Year: 1980"_s,
                           u"Country: Sweden"_s};
    }

    void samples()
    {
        QFETCH(QString, file);
        QFETCH(int, number);
        QFETCH(QString, boxes);
        QFETCH(QStringList, notes);
        TempDrive drive;
        QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
        firstRunCardFile(drive);

        const ToolRun run = runTool(drive, {u"import"_s, file});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QByteArray data = drive.readFile(paths::DataFile);
        const QStringList values = boxes.split(u'|');
        QCOMPARE(values.size(), FieldBoxCount);
        for (const Field &f : Fields)
            QCOMPARE(field(data, number, f.offset, f.width), padded(values[int(f.box)], f.width));
        QCOMPARE(field(data, number, 157, 6), padded(QString::number(number), 6));
        QCOMPARE(field(data, number, 229, 20), padded(u"Contacts"_s, 20));
        const QStringList lines =
            platform::text::splitLines(drive.readFile(notes::pathFor(number)));
        for (const QString &line : notes)
            QVERIFY2(lines.contains(line), qPrintable(line));
        QCOMPARE(files::attributes(paths::DataFile), seal::DataFile);
        QCOMPARE(files::attributes(paths::IndexFile), seal::IndexFile);
    }

    // Export, then import into an empty card file: the same records and notes, byte
    // for byte.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("format");
        QTest::newRow("random, vCard") << u"R"_s << u"vcard"_s;
        QTest::newRow("random, CSV") << u"R"_s << u"csv"_s;
        QTest::newRow("sequential, vCard") << u"S"_s << u"vcard"_s;
    }

    void roundTrip()
    {
        QFETCH(QString, form);
        QFETCH(QString, format);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString exported = out.filePath(u"export"_s);
        QByteArray data;
        QList<QByteArray> notesFiles;
        {
            TempDrive drive;
            makeToolStore(drive, form);
            const ToolRun run =
                runTool(drive, {u"export"_s, u"--format"_s, format, u"--output"_s, exported});
            QVERIFY2(run.exitCode == 0, run.err.constData());
            data = drive.readFile(paths::DataFile);
            for (const ToolContact &c : toolContacts())
                notesFiles.append(files::fileExists(notes::pathFor(c.id))
                                      ? drive.readFile(notes::pathFor(c.id))
                                      : QByteArray("none"));
        }
        resetStore();
        TempDrive drive;
        layOut(drive, indexBytes(0, form.toLatin1()), QByteArray());
        const ToolRun run = runTool(drive, {u"import"_s, exported});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(drive.readFile(paths::DataFile), data);
        for (const ToolContact &c : toolContacts())
            QCOMPARE(files::fileExists(notes::pathFor(c.id)) ? drive.readFile(notes::pathFor(c.id))
                                                             : QByteArray("none"),
                     notesFiles.at(c.id - 1));

        // Again: every contact is known now, by its UID or its name and phone.
        const ToolRun again = runTool(drive, {u"import"_s, exported});
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains("Added 0, 3 skipped"), again.out.constData());
        QCOMPARE(drive.readFile(paths::DataFile), data);
    }

    // A file from another program, imported, exported and imported into a new card
    // file, gives the same records and notes byte for byte.
    void samplesRoundTrip_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("format");
        const QStringList names = QDir(QStringLiteral(CARDOMINE_IMPORT_SAMPLES))
                                      .entryList({u"*.vcf"_s, u"*.csv"_s}, QDir::Files);
        QVERIFY(names.size() >= 10);
        for (const QString &name : names)
            for (const QString &format : {u"vcard"_s, u"csv"_s})
                QTest::newRow(qPrintable(name + u", "_s + format))
                    << QStringLiteral(CARDOMINE_IMPORT_SAMPLES "/") + name << format;
    }
    void samplesRoundTrip()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString exported = out.filePath(u"export"_s);
        // The data file, the index and every notes file, by name.
        const auto cardFile = [](const TempDrive &drive) {
            QMap<QString, QByteArray> held{{u"data"_s, drive.readFile(paths::DataFile)},
                                           {u"index"_s, drive.readFile(paths::IndexFile)}};
            for (const QString &name : files::listFiles(paths::NotesFolder))
                held.insert(name, drive.readFile(paths::NotesFolder + u'\\' + name));
            return held;
        };
        QMap<QString, QByteArray> first;
        {
            TempDrive drive;
            const ToolRun in = runTool(drive, {u"import"_s, file});
            QVERIFY2(in.exitCode == 0, in.err.constData());
            const ToolRun run =
                runTool(drive, {u"export"_s, u"--format"_s, format, u"--output"_s, exported});
            QVERIFY2(run.exitCode == 0, run.err.constData());
            first = cardFile(drive);
            // Into the same card file every contact is known again and nothing changes.
            const ToolRun same = runTool(drive, {u"import"_s, exported});
            QVERIFY2(same.exitCode == 0, same.err.constData());
            QVERIFY2(same.out.contains("Added 0, ") && same.out.contains(" 0 merged"),
                     same.out.constData());
            QCOMPARE(cardFile(drive), first);
        }
        resetStore();
        TempDrive drive;
        const ToolRun again = runTool(drive, {u"import"_s, exported});
        QVERIFY2(again.exitCode == 0, again.err.constData());
        // The first run's sample contact comes back as a duplicate of itself.
        QVERIFY2(again.out.contains(", 1 skipped"), again.out.constData());
        const QMap<QString, QByteArray> second = cardFile(drive);
        QCOMPARE(second.keys(), first.keys());
        for (auto it = first.cbegin(); it != first.cend(); ++it)
            QCOMPARE(second.value(it.key()), it.value());
    }

    // What import kept whole goes out whole, each value as its own property, and a cut
    // or doubtful e-mail address is never written as one.
    void wholeValuesGoOut_data()
    {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QStringList>("present"); // lines of the export, unfolded
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("cut phone and e-mail")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Ngozi;;;\r\n"
                          "TEL;TYPE=HOME:(404) 555-1212\r\n"
                          "EMAIL:ngozi.okafor.consulting@example.com\r\nEND:VCARD\r\n")
            << QStringList{u"TEL;TYPE=home:(404) 555-1212"_s,
                           u"EMAIL:ngozi.okafor.consulting@example.com"_s}
            << QStringList{u"TEL;TYPE=home:(404) 555-12\r"_s, u"Home phone:"_s, u"Fax or e-mail:"_s,
                           u"EMAIL:ngozi.okafor.consulting@example.c\r"_s};
        QTest::newRow("values without a box")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Ngozi;;;\r\n"
                          "TEL;TYPE=CELL:555 0101\r\nTEL;TYPE=CELL:555 0102\r\n"
                          "EMAIL:n@example.org\r\nEMAIL;TYPE=WORK:n@work.example\r\n"
                          "ADR;TYPE=HOME:;;1 Main St;Lagos;;;\r\n"
                          "ADR;TYPE=WORK:;;2 Side St;Abuja;;;\r\nBDAY:1980-02-03\r\n"
                          "URL:https://n.example\r\nTITLE:Engineer\r\n"
                          "NOTE:Own words.\r\nEND:VCARD\r\n")
            << QStringList{u"TEL;TYPE=cell:555 0102"_s,
                           u"EMAIL;TYPE=work:n@work.example"_s,
                           u"ADR;TYPE=work:;;2 Side St;Abuja;;;"_s,
                           u"BDAY:1980-02-03"_s,
                           u"URL:https://n.example"_s,
                           u"TITLE:Engineer"_s,
                           u"NOTE:Own words.\r"_s}
            << QStringList{u"Imported values"_s};
        QTest::newRow("a second address longer than the box, of no type")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Ngozi;;;\r\n"
                          "ADR:;;1 Main St;Lagos;;;\r\n"
                          "ADR:;;2 Side Street by the river near the old market;Abuja;;;\r\n"
                          "END:VCARD\r\n")
            << QStringList{u"ADR:;;2 Side Street by the river near the old market;Abuja;;;"_s}
            << QStringList{u"Imported values"_s};
        QTest::newRow("another program's UID")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-1\r\nN:Okafor;Ngozi;;;\r\n"
                          "TEL:555 0101\r\nEND:VCARD\r\n")
            << QStringList{u"UID:phone-1\r"_s} << QStringList{u"UID: phone-1"_s, u"\"UID\""_s};
    }
    void wholeValuesGoOut()
    {
        QFETCH(QByteArray, card);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        TempDrive drive;
        firstRunCardFile(drive);
        drive.writeFile(u"c:\\in.vcf"_s, card);
        const QString file = drive.native(u"c:\\in.vcf"_s);
        QCOMPARE(runTool(drive, {u"import"_s, file}).exitCode, 0);
        const ToolRun run = runTool(drive, {u"export"_s, u"--format"_s, u"vcard"_s});
        QCOMPARE(run.exitCode, 0);
        const QString out = QString::fromUtf8(run.out).replace(u"\r\n "_s, QString());
        for (const QString &line : present)
            QVERIFY2(out.contains(u"\n"_s + line), qPrintable(line + u"\n"_s + out));
        for (const QString &line : absent)
            QVERIFY2(!out.contains(line), qPrintable(line + u"\n"_s + out));
    }

    // Who is the same person is decided on whole values: another whole name is another
    // contact, even when the cut boxes match; the same person adds what is new.
    void samePersonOrNot_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<int>("records");       // after the second import
        QTest::addColumn<QStringList>("notes"); // lines of contact 2's notes afterwards
        const QByteArray head = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        QTest::newRow("another whole name, the same cut boxes")
            << head + "UID:other-7\r\nFN:Alexandrina Featherstonehaugh-Smythe\r\n"
                      "N:Featherstonehaugh-Smythe-Jones;Alexandrina;;;\r\n"
                      "TEL;TYPE=HOME:020 555 0100\r\nNOTE:Her own note.\r\nEND:VCARD\r\n"
            << QByteArray("added contact 3") << 3 << QStringList();
        QTest::newRow("the same person from another program, with more")
            << head + "FN:Alexandrina Featherstonehaugh-Smythe\r\n"
                      "N:Featherstonehaugh-Smythe;Alexandrina;;;\r\n"
                      "TEL;TYPE=HOME:020 555 0100\r\nTEL;TYPE=CELL:07700 900123\r\n"
                      "TEL;TYPE=CELL:07700 900124\r\nEND:VCARD\r\n"
            << QByteArray("merged into contact 2: 1 values") << 2
            << QStringList{u"Phone (cell): 07700 900124"_s};
        QTest::newRow("the same person, nothing new")
            << head + "N:Featherstonehaugh-Smythe;Alexandrina;;;\r\n"
                      "TEL;TYPE=HOME:020 555 0100\r\nEND:VCARD\r\n"
            << QByteArray("Added 0, 1 skipped") << 2 << QStringList();
    }
    void samePersonOrNot()
    {
        QFETCH(QByteArray, second);
        QFETCH(QByteArray, said);
        QFETCH(int, records);
        QFETCH(QStringList, notes);
        TempDrive drive;
        firstRunCardFile(drive);
        drive.writeFile(u"c:\\first.vcf"_s,
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:first-1\r\n"
                        "N:Featherstonehaugh-Smythe;Alexandrina;;;\r\n"
                        "TEL;TYPE=HOME:020 555 0100\r\nTEL;TYPE=CELL:07700 900123\r\n"
                        "END:VCARD\r\n");
        drive.writeFile(u"c:\\second.vcf"_s, second);
        QCOMPARE(runTool(drive, {u"import"_s, drive.native(u"c:\\first.vcf"_s)}).exitCode, 0);
        const ToolRun run = runTool(drive, {u"import"_s, drive.native(u"c:\\second.vcf"_s)});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(said), run.out.constData());
        QCOMPARE(drive.readFile(paths::DataFile).size(),
                 qsizetype(records) * ContactRecord::Length);
        const QStringList lines = platform::text::splitLines(drive.readFile(notes::pathFor(2)));
        for (const QString &line : notes)
            QVERIFY2(lines.contains(line), qPrintable(lines.join(u'\n')));
        if (records == 3) {
            const QStringList third = platform::text::splitLines(drive.readFile(notes::pathFor(3)));
            QVERIFY2(third.contains(u"Her own note."_s), qPrintable(third.join(u'\n')));
        }
    }

    // A contact with every box empty goes out under its UID and is known by it when
    // that export comes back.
    void emptyContactIsNotAddedAgain()
    {
        TempDrive drive;
        ContactRecord empty;
        empty.ContactID = u"1"_s;
        empty.DataType = u"Contacts"_s;
        layOut(drive, indexBytes(1), empty.toRandomBytes());
        QTemporaryDir out;
        const QString exported = out.filePath(u"export.vcf"_s);
        QCOMPARE(runTool(drive, {u"export"_s, u"--format"_s, u"vcard"_s, u"--output"_s, exported})
                     .exitCode,
                 0);
        const ToolRun again = runTool(drive, {u"import"_s, exported});
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains("Added 0, 1 skipped"), again.out.constData());
        QCOMPARE(drive.readFile(paths::DataFile), empty.toRandomBytes());
    }

    void secondImportAddsNothing()
    {
        TempDrive drive;
        firstRunCardFile(drive);
        const QStringList arguments{u"import"_s, sample("khard-3.0.vcf"), sample("abook.vcf"),
                                    sample("google.csv"), sample("handwritten-2.1.vcf")};
        QCOMPARE(runTool(drive, arguments).exitCode, 0);
        const QByteArray data = drive.readFile(paths::DataFile);
        const QByteArray index = drive.readFile(paths::IndexFile);
        QCOMPARE(data.size(), 8 * ContactRecord::Length);

        const ToolRun dry = runTool(drive, {u"import"_s, u"--dry-run"_s, sample("vobject.vcf")});
        QCOMPARE(dry.exitCode, 0);
        QVERIFY2(dry.out.contains("would add contact 9: Christabel Oyelaran-Whitfield"),
                 dry.out.constData());
        QVERIFY(dry.out.contains("cut to fit their boxes"));
        QVERIFY(dry.out.contains("Characters replaced by \"?\" in: Nguy\xe1\xbb\x85n"));

        const ToolRun again = runTool(drive, arguments);
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains("Added 0, 7 skipped"), again.out.constData());
        QCOMPARE(drive.readFile(paths::DataFile), data);
        QCOMPARE(drive.readFile(paths::IndexFile), index);
    }

    // A photo comes in whole into the photos folder, its name and size in the notes, and
    // goes out whole again: imported into a new card file it is the same bytes.
    void photoRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("photoLines");
        const QByteArray base64 = photoBytes().toBase64();
        QByteArray unindented; // vCard 2.1 writers break base64 lines without a space
        for (qsizetype at = 0; at < base64.size(); at += 76)
            unindented += (at == 0 ? " " : "") + base64.mid(at, 76) + "\r\n";
        QTest::newRow("3.0, ENCODING=b")
            << "VERSION:3.0\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + base64 + "\r\n";
        QTest::newRow("2.1, BASE64 lines not indented")
            << "VERSION:2.1\r\nPHOTO;JPEG;ENCODING=BASE64:\r\n" + unindented + "\r\n";
        QTest::newRow("4.0, data: URI")
            << "VERSION:4.0\r\nPHOTO:data:image/jpeg;base64," + base64 + "\r\n";
    }

    void photoRoundTrip()
    {
        QFETCH(QByteArray, photoLines);
        QTemporaryDir out;
        const QString input = out.filePath(u"photo.vcf"_s);
        const QString exported = out.filePath(u"export.vcf"_s);
        writeInput(input, "BEGIN:VCARD\r\n" + photoLines +
                              "N:Okafor;Ada\r\nTEL;TYPE=HOME:555-0101\r\nEND:VCARD\r\n");
        const QString name = photos::valueName(u"photo"_s, photoBytes(), u"jpeg"_s);
        QByteArray notes;
        {
            TempDrive drive;
            firstRunCardFile(drive);
            const ToolRun run = runTool(drive, {u"import"_s, input});
            QVERIFY2(run.out.contains("added contact 2: Ada Okafor"), run.out.constData());
            QCOMPARE(drive.readFile(photos::pathFor(2, name)), photoBytes());
            notes = drive.readFile(notes::pathFor(2));
            const QByteArray entry = name.toLatin1() + ", 3000 bytes";
            QVERIFY2(notes.contains(QByteArray(QByteArray("Photo (jpeg): ") + entry)) ||
                         notes.contains(QByteArray(QByteArray("Photo: ") + entry)),
                     notes.constData());
            QVERIFY(notes.size() < 200); // no base64 in the notes
            QCOMPARE(
                runTool(drive, {u"export"_s, u"--format"_s, u"vcard"_s, u"--output"_s, exported})
                    .exitCode,
                0);
        }
        resetStore();
        TempDrive drive;
        firstRunCardFile(drive);
        const ToolRun run = runTool(drive, {u"import"_s, exported});
        QVERIFY2(run.out.contains("added contact 2: Ada Okafor"), run.out.constData());
        QCOMPARE(drive.readFile(photos::pathFor(2, name)), photoBytes());
        QCOMPARE(drive.readFile(notes::pathFor(2)), notes);
    }

    // A contact whose notes would pass the notes limit is refused by name, whole: no
    // record, no notes file, no photo file, and a merge leaves the holder as it was.
    void notesLimitRefusesByName_data()
    {
        QTest::addColumn<bool>("merge");
        QTest::newRow("a new contact") << false;
        QTest::newRow("merged into a contact") << true;
    }

    void notesLimitRefusesByName()
    {
        QFETCH(bool, merge);
        TempDrive drive;
        firstRunCardFile(drive);
        const QByteArray known = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Ada\r\n"
                                 "TEL;TYPE=HOME:555-0101\r\nEND:VCARD\r\n";
        const QString input = drive.root() + u"/big.vcf"_s;
        if (merge) {
            writeInput(input, known);
            QCOMPARE(runTool(drive, {u"import"_s, input}).exitCode, 0);
        }
        const QByteArray data = drive.readFile(paths::DataFile);
        const QByteArray notesBefore = drive.readFile(notes::pathFor(2));
        writeInput(input, "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Ada\r\n"
                          "TEL;TYPE=HOME:555-0101\r\nPHOTO;ENCODING=b;TYPE=PNG:" +
                              photoBytes().toBase64() + "\r\nNOTE:" +
                              QByteArray(notes::FileLimit, 'x') + "\r\nEND:VCARD\r\n");
        const ToolRun run = runTool(drive, {u"import"_s, input});
        QCOMPARE(run.exitCode, 0);
        const QByteArray refusal =
            QByteArray("refused  Ada Okafor (") + input.toUtf8() +
            (merge ? " line 1): merged into contact 2 its notes would pass the notes limit"
                   : " line 1): its notes would pass the notes limit");
        QVERIFY2(run.out.contains(refusal), run.out.constData());
        QCOMPARE(drive.readFile(paths::DataFile), data);
        QCOMPARE(drive.readFile(notes::pathFor(2)), notesBefore);
        QCOMPARE(photos::contactFiles(), QStringList());
    }

    void fileThatDoesNotParseAddsNothing()
    {
        TempDrive drive;
        firstRunCardFile(drive);
        const QString bad = drive.root() + u"/bad.vcf"_s;
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("BEGIN:VCARD\r\nFN:A B\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN C D\r\nEND:VCARD\r\n");
        file.close();
        const QByteArray before = drive.readFile(paths::DataFile);
        const ToolRun run = runTool(drive, {u"import"_s, bad});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("bad.vcf line 5:"), run.err.constData());
        QCOMPARE(drive.readFile(paths::DataFile), before);
        QCOMPARE(drive.readFile(paths::IndexFile), indexBytes(1));
    }

    void limitRefusesByName()
    {
        TempDrive drive;
        const int count = ContactRecord::MaxNumber - 1;
        layOut(drive, indexBytes(count), QByteArray(qsizetype(count) * ContactRecord::Length, ' '));
        const ToolRun run =
            runTool(drive, {u"import"_s, sample("khard-3.0.vcf"), sample("vobject.vcf")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("added contact 32767: Dr. Margarethe Vandersloot-Okonkwo"),
                 run.out.constData());
        for (const char *name : {"refused  \xc3\x9cnal \xc3\x87"
                                 "elik",
                                 "refused  Christabel", "refused  Nguy"})
            QVERIFY2(run.out.contains(name), name);
        QCOMPARE(drive.readFile(paths::IndexFile), indexBytes(ContactRecord::MaxNumber));
        QCOMPARE(drive.readFile(paths::DataFile).size(),
                 qsizetype(ContactRecord::MaxNumber) * ContactRecord::Length);
    }

    // A machine with no card file yet: import makes it as the first run does, then
    // imports; a folder holding some of the card file's files is left alone.
    void freshMachine_data()
    {
        QTest::addColumn<QString>("present"); // what the data folder holds before
        QTest::addColumn<bool>("fresh");
        QTest::newRow("no data folder") << QString() << true;
        QTest::newRow("an empty data folder") << u"folder"_s << true;
        QTest::newRow("a data file without its index") << u"Cardomine.Dat"_s << false;
        QTest::newRow("the sample notes alone") << u"Contact Notes\\1.txt"_s << false;
    }
    void freshMachine()
    {
        QFETCH(QString, present);
        QFETCH(bool, fresh);
        TempDrive drive;
        if (!present.isEmpty()) {
            files::createFolder(u"c:\\Program Files"_s);
            files::createFolder(paths::DataFolder);
            files::createFolder(paths::NotesFolder);
        }
        if (present.contains(u'.'))
            drive.writeFile(paths::DataFolder + u'\\' + present, sampleContact().toRandomBytes());
        const auto listing = [&drive] {
            return QDir(drive.native(paths::DataFolder))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        const QStringList before = listing();

        const ToolRun run = runTool(drive, {u"import"_s, sample("abook.vcf")});
        if (!fresh) {
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains("Nothing was changed"), run.err.constData());
            QCOMPARE(listing(), before);
            return;
        }
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY2(run.out.contains("Created the card file"), run.out.constData());
        QVERIFY2(run.out.contains("added contact 2"), run.out.constData());
        const QByteArray data = drive.readFile(paths::DataFile);
        QCOMPARE(data.left(ContactRecord::Length), sampleContact().toRandomBytes());
        QCOMPARE(drive.readFile(notes::pathFor(1)),
                 platform::text::joinLines(notes::sampleLines()));
        QCOMPARE(drive.readFile(paths::IndexFile),
                 indexBytes(int(data.size() / ContactRecord::Length)));
        QCOMPARE(QFile::permissions(drive.native(paths::DataFolder)) & 0x0077, 0);
        // The next start finds the card file sealed and changes nothing.
        const ToolRun check = runTool(drive, {u"check"_s});
        QVERIFY2(check.exitCode == 0, check.out.constData());
    }

    // A file-size limit stops the import with a message; nothing is added and no notes
    // file is left without its record.
    void fileSizeLimit()
    {
        TempDrive drive;
        firstRunCardFile(drive);
        const QString cards = drive.root() + u"/six.vcf"_s;
        QFile file(cards);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 1; i <= 6; ++i)
            file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " + QByteArray::number(i) +
                       "\r\nN:" + QByteArray::number(i) + ";Person;;;\r\nNOTE:Note " +
                       QByteArray::number(i) + "\r\nEND:VCARD\r\n");
        file.close();
        const QByteArray data = drive.readFile(paths::DataFile);
        const QStringList notesBefore = files::listFiles(paths::NotesFolder);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"CARDOMINE_DRIVE_C"_s, drive.root());
        process.setProcessEnvironment(environment);
        // 1 KiB: room for the notes files and the marker, not for six more records.
        process.start(u"bash"_s, {u"-c"_s, u"ulimit -f 1 && exec \"$@\""_s, u"bash"_s,
                                  QStringLiteral(CARDOMINE_TOOL_PATH), u"import"_s, cards});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit); // not killed by SIGXFSZ
        QCOMPARE(process.exitCode(), 1);
        const QByteArray said = process.readAllStandardError();
        QVERIFY2(said.contains("File too large"), said.constData());
        QCOMPARE(drive.readFile(paths::DataFile), data);
        QCOMPARE(drive.readFile(paths::IndexFile), indexBytes(1));
        QCOMPARE(files::listFiles(paths::NotesFolder), notesBefore);
        QCOMPARE(files::attributes(paths::DataFile), seal::DataFile);
    }

    void refusedWhileTheProgramRuns()
    {
        TempDrive drive;
        firstRunCardFile(drive);
        platform::InstanceLock program(paths::DataFolder);
        QVERIFY(program.tryLock());
        const ToolRun run = runTool(drive, {u"import"_s, sample("abook.vcf")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("in use"), run.err.constData());
        QCOMPARE(drive.readFile(paths::IndexFile), indexBytes(1));
    }
};

QTEST_GUILESS_MAIN(TestToolImport)
#include "tst_toolimport.moc"
