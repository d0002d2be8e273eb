// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/dataerror.h"
#include "datastore/notesfile.h"
#include "platform/fileerror.h"
#include "storefixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace files = cardomine::platform::files;

class TestNotesFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetStore(); }
    void cleanup() { resetStore(); }

    void fileName_data();
    void fileName();
    void readsFile_data();
    void readsFile();
    void bytesThatAreNotText();
    void loadThenSaveKeepsBytes_data();
    void loadThenSaveKeepsBytes();
    void writesTextAndOneLineEnd_data();
    void writesTextAndOneLineEnd();
    void emptiedNotes_data();
    void emptiedNotes();
    void missingNotesFolderCreated();
    void missingDataFolderFails();
    void setAsideTakesAFreeName();
    void sampleNotes();
    void fileBytesCountsLineEnds_data();
    void fileBytesCountsLineEnds();
    void oneLimitInAndOut_data();
    void oneLimitInAndOut();
};

void TestNotesFile::fileName_data()
{
    QTest::addColumn<QString>("contactId");
    QTest::addColumn<QString>("path");

    QTest::newRow("one with padding")
        << u"1     "_s << u"c:\\Program Files\\Pelvarin\\Contact Notes\\1.txt"_s;
    QTest::newRow("twelve with padding")
        << u"12    "_s << u"c:\\Program Files\\Pelvarin\\Contact Notes\\12.txt"_s;
    QTest::newRow("leading zeros dropped")
        << u"007"_s << u"c:\\Program Files\\Pelvarin\\Contact Notes\\7.txt"_s;
    QTest::newRow("highest") << u"32767"_s
                             << u"c:\\Program Files\\Pelvarin\\Contact Notes\\32767.txt"_s;
}

void TestNotesFile::fileName()
{
    QFETCH(QString, contactId);
    QFETCH(QString, path);
    ContactRecord r;
    r.ContactID = contactId;
    QCOMPARE(r.ContactID.text().size(), 6);
    QCOMPARE(notes::pathFor(r.contactNumber().value()), path);
}

void TestNotesFile::readsFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero bytes") << QByteArray() << QString();
    QTest::newRow("one line end only") << QByteArray("\r\n") << QString();
    QTest::newRow("one line") << QByteArray("Call back\r\n") << u"Call back"_s;
    QTest::newRow("only one line end dropped")
        << QByteArray("Call back\r\n\r\n") << u"Call back\r\n"_s;
    QTest::newRow("no line end") << QByteArray("Call back") << u"Call back"_s;
    QTest::newRow("LF alone kept") << QByteArray("Call back\n") << u"Call back\n"_s;
    QTest::newRow("lines") << QByteArray("a\r\nb\r\n") << u"a\r\nb"_s;
    QTest::newRow("windows-1252") << QByteArray("Ren\xe9 \x80 5\r\n") << u"Ren\u00e9 \u20ac 5"_s;
}

void TestNotesFile::readsFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    drive.writeFile(notes::pathFor(5), bytes);
    QCOMPARE(notes::read(5), text);
}

void TestNotesFile::bytesThatAreNotText()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    // Bytes Windows-1252 leaves undefined, a NUL, and a lone CR at the end.
    drive.writeFile(notes::pathFor(6), QByteArray("ok\x81\x8d\x8f\x90\x9d\0end\r", 12));
    const QString text = notes::read(6);
    QVERIFY2(text.startsWith(u"ok"_s), qPrintable(text));
    QVERIFY2(text.endsWith(u"end\r"_s), qPrintable(text));
    QCOMPARE(text.size(), 12);
}

void TestNotesFile::loadThenSaveKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("written by the program") << QByteArray("Call back\r\n");
    QTest::newRow("several lines") << QByteArray("a\r\nb\r\n\r\nc\r\n");
    QTest::newRow("blank lines at the end") << QByteArray("Call back\r\n\r\n\r\n");
    QTest::newRow("windows-1252") << QByteArray("Ren\xe9 owes \x80 5\r\n");
    QTest::newRow("sample notes") << crlfLines(
        {"These are an example of contact notes.",
         "They have been created by Cardomine (tm).  You can use any text editor to add to or "
         "change these notes.",
         "If you don't want them, simply delete the note file of your contact by locating the file "
         "in. . .",
         "c:\\Program Files\\Pelvarin\\Contact Notes\\(ContactID).txt, where ContactID is the "
         "number of the "
         "contact's notes you'd like to erase."});
}

void TestNotesFile::loadThenSaveKeepsBytes()
{
    QFETCH(QByteArray, bytes);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();
    files::createFolder(paths::NotesFolder);
    drive.writeFile(notes::pathFor(3), bytes);

    for (int round = 0; round < 3; ++round) {
        notes::write(3, notes::read(3));
        QCOMPARE(drive.readFile(notes::pathFor(3)), bytes);
    }
}

void TestNotesFile::writesTextAndOneLineEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one line") << u"Call back"_s << QByteArray("Call back\r\n");
    QTest::newRow("two lines") << u"a\r\nb"_s << QByteArray("a\r\nb\r\n");
    QTest::newRow("not in the code page") << u"\u0416 \u20ac"_s << QByteArray("? \x80\r\n");
}

void TestNotesFile::writesTextAndOneLineEnd()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();
    files::createFolder(paths::NotesFolder);

    notes::write(9, text);
    QCOMPARE(drive.readFile(notes::pathFor(9)), bytes);
    // Over an existing file too, with nothing left of a longer old text.
    drive.writeFile(notes::pathFor(9), QByteArray(500, 'z'));
    notes::write(9, text);
    QCOMPARE(drive.readFile(notes::pathFor(9)), bytes);
}

void TestNotesFile::emptiedNotes_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("before");

    QTest::newRow("no file") << false << QByteArray();
    QTest::newRow("file with notes") << true << QByteArray("Old notes\r\n");
    QTest::newRow("empty file") << true << QByteArray();
}

void TestNotesFile::emptiedNotes()
{
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, before);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();
    files::createFolder(paths::NotesFolder);
    if (fileExists)
        drive.writeFile(notes::pathFor(4), before);

    notes::write(4, QString());
    QCOMPARE(files::fileExists(notes::pathFor(4)), fileExists);
    if (fileExists) {
        QCOMPARE(drive.readFile(notes::pathFor(4)), QByteArray());
        QCOMPARE(notes::read(4), QString());
    }
}

void TestNotesFile::missingNotesFolderCreated()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();

    QCOMPARE(notes::read(2), QString());
    notes::write(2, QString());
    QVERIFY(!files::folderExists(paths::NotesFolder));
    notes::write(2, u"New"_s);
    QVERIFY(files::folderExists(paths::NotesFolder));
    QCOMPARE(drive.readFile(notes::pathFor(2)), QByteArray("New\r\n"));
}

void TestNotesFile::missingDataFolderFails()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    try {
        notes::write(2, u"New"_s);
        QFAIL("notes were written without a data folder");
    } catch (const platform::FileError &e) {
        QVERIFY2(e.path() == paths::NotesFolder || e.path() == notes::pathFor(2),
                 qPrintable(e.path()));
        QVERIFY(!e.reason().isEmpty());
    }
}

// Notes left under a new contact's number go to Recovered/ under a name nothing takes,
// even where a folder or a dangling link holds the first choice.
void TestNotesFile::setAsideTakesAFreeName()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();
    drive.writeFile(notes::pathFor(5), "Left behind\r\n");
    const QDir folder(drive.native(paths::RecoveredFolder));
    QVERIFY(folder.mkpath(u"."_s));
    // The names of this second and the next, in case the clock moves on meanwhile.
    const QDateTime now = QDateTime::currentDateTime();
    for (int later = 0; later <= 1; ++later) {
        const QString name = u"5.txt."_s + now.addSecs(later).toString(u"yyyyMMdd-HHmmss"_s);
        QVERIFY(folder.mkdir(name));
        QVERIFY(QFile::link(folder.filePath(u"nowhere"_s), folder.filePath(name + u"-2"_s)));
    }
    notes::setAsideEarlierNotes(5);
    QVERIFY(!files::fileExists(notes::pathFor(5)));
    const QStringList moved = folder.entryList({u"5.txt.*-3"_s}, QDir::Files);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(drive.readFile(paths::RecoveredFolder + u'\\' + moved.first()),
             QByteArray("Left behind\r\n"));
}

void TestNotesFile::sampleNotes()
{
    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();
    drive.writeFile(notes::pathFor(1),
                    "older notes that are longer than the sample notes file ...");

    notes::writeSample();
    const QByteArray expected =
        "These are an example of contact notes.\r\n"
        "They have been created by Cardomine (tm).  You can use any text editor to add to or "
        "change "
        "these notes.\r\n"
        "If you don't want them, simply delete the note file of your contact by locating the file "
        "in. . .\r\n"
        "c:\\Program Files\\Pelvarin\\Contact Notes\\(ContactID).txt, where ContactID is the "
        "number "
        "of the contact's notes you'd like to erase.\r\n";
    QCOMPARE(drive.readFile(paths::NotesFolder + u"\\1.txt"_s), expected);
    QCOMPARE(notes::sampleLines().size(), 4);
    QCOMPARE(notes::read(1), notes::sampleLines().join(u"\r\n"_s));
}

void TestNotesFile::fileBytesCountsLineEnds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("bytes");

    QTest::newRow("empty") << QString() << qint64(2);
    QTest::newRow("CR LF") << u"a\r\nb"_s << qint64(6);
    QTest::newRow("line feed, as the box ends lines") << u"a\nb"_s << qint64(6);
    QTest::newRow("lone CR") << u"a\rb"_s << qint64(6);
    QTest::newRow("separators") << u"a\u2028b\u2029"_s << qint64(8);
    QTest::newRow("outside the code page") << u"\U0001F600\u20ac"_s << qint64(4);
    QTest::newRow("combining accent composed") << u"e\u0301"_s << qint64(3);
}

// fileBytes is what a save writes, whatever line ends the text has.
void TestNotesFile::fileBytesCountsLineEnds()
{
    QFETCH(QString, text);
    QFETCH(qint64, bytes);
    QCOMPARE(notes::fileBytes(text), bytes);
    QString crlf = text;
    crlf.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').replace(QChar(0x2028), u'\n');
    crlf.replace(QChar(0x2029), u'\n').replace(u"\n"_s, u"\r\n"_s);
    if (!crlf.isEmpty())
        QCOMPARE(qint64(notes::bytesFor(crlf).size()), bytes);
}

void TestNotesFile::oneLimitInAndOut_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("cut");

    const QByteArray line = QByteArray(68, 'n') + "\r\n";
    const QByteArray full = line.repeated(notes::FileLimit / line.size()) +
                            QByteArray(notes::FileLimit % line.size() - 2, 'e') + "\r\n";
    QTest::newRow("exactly the limit") << full << false;
    QTest::newRow("one byte more") << full + 'x' << true;
    QTest::newRow("twice the limit") << full + full << true;
    // Another editor's lone line feeds each grow by a byte when saved.
    QByteArray unix = full;
    unix.replace("\r\n", "\n");
    QTest::newRow("line feeds, within the limit once saved")
        << unix.left(notes::FileLimit / 2) << false;
    QTest::newRow("line feeds, past the limit once saved") << unix << true;
}

// A notes file within the limit is shown whole and saved back byte for byte; a bigger
// one (or one that would be once saved) is shown cut, and no save writes past it.
void TestNotesFile::oneLimitInAndOut()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, cut);

    TempDrive drive;
    QVERIFY2(drive.isValid(), qPrintable(drive.errorString()));
    makeDataFolder();
    drive.writeFile(notes::pathFor(2), file);
    const notes::Loaded loaded = notes::load(2);
    QCOMPARE(loaded.cut, cut);
    QCOMPARE(loaded.text.endsWith(notes::cutNotice()), cut);
    QCOMPARE(notes::tooBigToSave(2), qint64(file.size()) > notes::FileLimit);
    // The box gives its text back with CR LF line ends.
    QString asSaved = loaded.text;
    asSaved.replace(u"\r\n"_s, u"\n"_s).replace(u"\n"_s, u"\r\n"_s);
    if (cut) {
        QVERIFY_THROWS_EXCEPTION(DataError, notes::write(2, asSaved));
        QCOMPARE(drive.readFile(notes::pathFor(2)), file);
        return;
    }
    QVERIFY(notes::fileBytes(loaded.text) <= notes::FileLimit);
    notes::write(2, asSaved);
    QCOMPARE(qint64(drive.readFile(notes::pathFor(2)).size()), notes::fileBytes(loaded.text));
}

QTEST_GUILESS_MAIN(TestNotesFile)
#include "tst_notesfile.moc"
