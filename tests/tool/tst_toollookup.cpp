// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool find, show and query, run as the user and mail programs run them:
// what they answer, and that they change nothing and need no lock.
#include "tests/support/foldersnapshot.h"
#include "tests/tool/toolfixture.h"
#include "tool/folderlock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

namespace {

// A contact made by import: its e-mail address cut to the box, the whole one and a
// second one kept in the notes.
void addImportedContact()
{
    MemoryBoxes boxes;
    Data_Functions::setBoxes(&boxes);
    boxes.setBoxText(FieldBox::FirstName, u"Bartholome"_s);
    boxes.setBoxText(FieldBox::LastName, u"Featherstonehaugh"_s);
    boxes.setBoxText(FieldBox::FaxOrEmail, u"bart.f@featherstonehaugh.examp"_s);
    boxes.setNotesText(u"Met in Sydney.\r\nImported values that do not fit a box:"_s
                       u"\r\nFirst name: Bartholomew\r\n"
                       "Fax or e-mail: bart.f@featherstonehaugh.example.com\r\n"
                       "E-mail (work): bart@wallaby.example\r\n"
                       "Nickname: Bart"_s);
    CurrentRecord = ContactRecord();
    CurrentRecord.ContactID = u"4"_s;
    CurrentRecord.DataType = u"Contacts"_s;
    Data_Functions::CollectFields(false);
    Data_Functions::SaveRecord(paths::DataFile, 4, u"R"_s, QString());
    Data_Functions::setBoxes(nullptr);
}

} // namespace

class TestToolLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_drive = std::make_unique<TempDrive>();
        QVERIFY2(m_drive->isValid(), qPrintable(m_drive->errorString()));
        makeToolStore(*m_drive, u"R"_s);
        addImportedContact();
    }
    void cleanup() { m_drive.reset(); }

    void find_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("without the accent") << QStringList{u"zoe"_s} << QList<int>{3};
        QTest::newRow("other case, accent typed") << QStringList{u"ÉMILE"_s} << QList<int>{2};
        QTest::newRow("words in one argument") << QStringList{u"zola paris"_s} << QList<int>{2};
        QTest::newRow("a box and the notes")
            << QStringList{u"bronte"_s, u"meeting"_s} << QList<int>{3};
        QTest::newRow("notes only") << QStringList{u"bonjour"_s} << QList<int>{2};
        QTest::newRow("several contacts") << QStringList{u"555"_s} << QList<int>{1, 2, 3};
        QTest::newRow("imported values") << QStringList{u"wallaby"_s} << QList<int>{4};
        QTest::newRow("every word must match") << QStringList{u"ada"_s, u"zola"_s} << QList<int>{};
        QTest::newRow("nobody") << QStringList{u"nobody"_s} << QList<int>{};
        QTest::newRow("upper case, plain letters") << QStringList{u"LOVELACE"_s} << QList<int>{1};
        QTest::newRow("mixed case at a box's end") << QStringList{u"vELACE"_s} << QList<int>{1};
        QTest::newRow("longer than the box") << QStringList{u"lovelaces"_s} << QList<int>{};
    }
    void find()
    {
        QFETCH(QStringList, words);
        QFETCH(QList<int>, numbers);
        const ToolRun run = runTool(*m_drive, QStringList{u"find"_s} + words);
        QCOMPARE(run.exitCode, numbers.isEmpty() ? 1 : 0);
        QList<int> found;
        for (const QByteArray &line : run.out.split('\n')) {
            if (!line.isEmpty()) {
                QCOMPARE(line.count('\t'), 4);
                found.append(line.left(line.indexOf('\t')).toInt());
            }
        }
        QCOMPARE(found, numbers);
    }

    // The sequential form is searched in its decoded lines.
    void findSequential_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("without the accent") << QStringList{u"ZOE"_s} << QList<int>{3};
        QTest::newRow("a box and the notes")
            << QStringList{u"bronte"_s, u"meeting"_s} << QList<int>{3};
        QTest::newRow("several contacts") << QStringList{u"555"_s} << QList<int>{1, 2, 3};
        QTest::newRow("nobody") << QStringList{u"nobody"_s} << QList<int>{};
    }
    void findSequential()
    {
        QFETCH(QStringList, words);
        QFETCH(QList<int>, numbers);
        m_drive.reset();
        m_drive = std::make_unique<TempDrive>();
        QVERIFY2(m_drive->isValid(), qPrintable(m_drive->errorString()));
        makeToolStore(*m_drive, u"S"_s);
        const ToolRun run = runTool(*m_drive, QStringList{u"find"_s} + words);
        QCOMPARE(run.exitCode, numbers.isEmpty() ? 1 : 0);
        QList<int> found;
        for (const QByteArray &line : run.out.split('\n')) {
            if (!line.isEmpty())
                found.append(line.left(line.indexOf('\t')).toInt());
        }
        QCOMPARE(found, numbers);
    }

    void findLine_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("line");
        QTest::newRow("e-mail in the box") << u"lovelace"_s
                                           << u"1\tAda Lovelace\tAnalytical Engines, Ltd.\t"
                                              "020.555.0101\tada@example.org"_s;
        QTest::newRow("a fax in the box, first phone work")
            << u"emile"_s << u"2\tÉmile Zola\tCafé €uro; Paris\t01.555.0199\t"_s;
        QTest::newRow("cut address, whole one from the notes")
            << u"bart"_s
            << u"4\tBartholome Featherstonehaugh\t\t\tbart.f@featherstonehaugh.example.com"_s;
    }
    void findLine()
    {
        QFETCH(QString, word);
        QFETCH(QString, line);
        const ToolRun run = runTool(*m_drive, {u"find"_s, word});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.out), line + u'\n');

        const ToolRun json = runTool(*m_drive, {u"find"_s, u"--format"_s, u"json"_s, word});
        QCOMPARE(json.exitCode, 0);
        const QJsonArray list = QJsonDocument::fromJson(json.out).array();
        QCOMPARE(list.size(), 1);
        const QStringList fields = line.split(u'\t');
        const QJsonObject object = list.first().toObject();
        QCOMPARE(object.value(u"number"_s).toInt(), fields.at(0).toInt());
        QCOMPARE(object.value(u"name"_s).toString(), fields.at(1));
        QCOMPARE(object.value(u"phone"_s).toString(), fields.at(3));
        QCOMPARE(object.value(u"email"_s).toString(), fields.at(4));
    }

    void show()
    {
        const ToolRun run = runTool(*m_drive, {u"show"_s, u"2"_s});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(
            QString::fromUtf8(run.out),
            u"First Name:                  Émile\n"
            "Last Name:                   Zola\n"
            "Company (If Applicable):     Café €uro; Paris\n"
            "Address:                     1 Rue de la Paix\n"
            "City:                        Paris\n"
            "State:                       FR\n"
            "Zip Code:                    75002\n"
            "Client/Customer/Contact ID#: 2\n"
            "Home Phone:\n"
            "Work Phone:                  01.555.0199\n"
            "Pager/Mobile #:              06.555.0123\n"
            "Fax Or Email:                01.555.0198\n"
            "Type:                        Contacts\n"
            "Notes:\n"
            "Prefers letters.\nPrice: 5 € per visit, café at 9\nSays \"bonjour\" \\ waves\n"_s);

        const ToolRun json = runTool(*m_drive, {u"show"_s, u"4"_s, u"--format"_s, u"json"_s});
        QCOMPARE(json.exitCode, 0);
        const QJsonObject object = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(object.value(u"firstName"_s).toString(), u"Bartholome"_s);
        QCOMPARE(object.value(u"faxOrEmail"_s).toString(), u"bart.f@featherstonehaugh.examp"_s);
        QVERIFY(object.value(u"notes"_s).toString().endsWith(u"\nNickname: Bart"_s));
    }

    void query_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("box address") << u"ada"_s << 0
                                     << QStringList{u"ada@example.org\tAda Lovelace\t"
                                                    "Analytical Engines, Ltd."_s};
        QTest::newRow("never the cut address")
            << u"FEATHERSTONEHAUGH"_s << 0
            << QStringList{
                   u"bart.f@featherstonehaugh.example.com\tBartholome Featherstonehaugh\t"_s,
                   u"bart@wallaby.example\tBartholome Featherstonehaugh\t"_s};
        QTest::newRow("a contact with no address") << u"zola"_s << 1 << QStringList{};
        QTest::newRow("no contact") << u"nobody"_s << 1 << QStringList{};
    }
    void query()
    {
        QFETCH(QString, text);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        const ToolRun run = runTool(*m_drive, {u"query"_s, text});
        QCOMPARE(run.exitCode, exitCode);
        QStringList got = QString::fromUtf8(run.out).split(u'\n');
        QVERIFY2(got.size() >= 2 && got.last().isEmpty(), run.out.constData());
        QVERIFY(!got.first().contains(u'\t'));
        QCOMPARE(got.mid(1, got.size() - 2), lines);
    }

    // Beside a running program: no lock taken, nothing written, not even Cardomine.id.
    void readsOnly()
    {
        const auto lock = tool::lockDataFolder();
        QVERIFY(lock);
        const QStringList before = folderSnapshot(m_drive->root());
        for (const QStringList &arguments :
             {QStringList{u"find"_s, u"zoe"_s}, QStringList{u"show"_s, u"1"_s},
              QStringList{u"query"_s, u"ada"_s},
              QStringList{u"find"_s, u"--format"_s, u"json"_s, u"a"_s}})
            QCOMPARE(runTool(*m_drive, arguments).exitCode, 0);
        QCOMPARE(folderSnapshot(m_drive->root()), before);
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("find, nothing to look for") << QStringList{u"find"_s} << 2;
        QTest::newRow("find, bad format")
            << QStringList{u"find"_s, u"--format"_s, u"csv"_s, u"a"_s} << 2;
        QTest::newRow("show, not a number") << QStringList{u"show"_s, u"two"_s} << 2;
        QTest::newRow("show, no such contact") << QStringList{u"show"_s, u"9"_s} << 1;
        QTest::newRow("query, two arguments") << QStringList{u"query"_s, u"a"_s, u"b"_s} << 2;
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        const ToolRun run = runTool(*m_drive, arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

private:
    std::unique_ptr<TempDrive> m_drive;
};

QTEST_GUILESS_MAIN(TestToolLookup)
#include "tst_toollookup.moc"
