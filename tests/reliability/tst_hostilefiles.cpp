// Files a user or another program may leave in the data folder, each with what the
// program must make of it. Nothing crashes, every problem is a clear box, and no file
// outside the data folder is ever written.

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace cardomine;
using namespace Qt::StringLiterals;
using testing::LoadedWindow;

namespace {

enum class Expect
{
    Starts,      // the window loads and an edit of record 1 saves
    EditRefused, // the window loads; saving record 1 is refused with one box
    Refused,     // the start ends with one clear box
};

} // namespace

Q_DECLARE_METATYPE(Expect)

class TestHostileFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void catalogue_data();
    void catalogue();
};

void TestHostileFiles::catalogue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Expect>("expect");
    QTest::newRow("huge notes file") << u"huge notes"_s << Expect::EditRefused;
    QTest::newRow("binary notes") << u"binary notes"_s << Expect::Starts;
    QTest::newRow("index with thousands of lines") << u"long index"_s << Expect::Starts;
    QTest::newRow("data file of odd length") << u"odd data"_s << Expect::Starts;
    QTest::newRow("data file is a folder") << u"data folder"_s << Expect::Refused;
    QTest::newRow("data file links outside") << u"data link"_s << Expect::Refused;
    QTest::newRow("notes file links outside") << u"notes link"_s << Expect::Starts;
}

void TestHostileFiles::catalogue()
{
    QFETCH(QString, kind);
    QFETCH(Expect, expect);

    testing::TempDrive drive;
    QVERIFY(drive.isValid());
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scoped(messages);
    CurrentRecord = ContactRecord();
    IndexLines.clear();

    QByteArray data;
    for (int i = 1; i <= 3; ++i)
        data += LoadedWindow::recordBytes(i);
    QByteArray index = LoadedWindow::indexBytes(3);
    drive.writeFile(notes::pathFor(1), "Notes of 1\r\n");
    // A file outside the data folder that nothing may write.
    const QString outside = drive.root() + u"/outside.txt";
    const QByteArray outsideBytes = "not the program's\r\n";
    {
        QFile f(outside);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(outsideBytes);
    }
    const QString notes1 = drive.native(notes::pathFor(1));
    const QString dataPath = drive.native(paths::DataFile);

    if (kind == u"long index") {
        index = "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=3\r\nFile_Type=R\r\n";
        for (int i = 0; i < 5000; ++i)
            index += "Extra line " + QByteArray::number(i) + ",with,items\r\n";
    } else if (kind == u"odd data") {
        data.chop(100);
    }
    drive.writeFile(paths::IndexFile, index);
    platform::files::setAttributes(paths::IndexFile, 5);
    if (kind == u"data folder") {
        QVERIFY(QDir().mkpath(dataPath));
    } else if (kind == u"data link") {
        QVERIFY(QFile::link(outside, dataPath));
    } else {
        drive.writeFile(paths::DataFile, data);
        platform::files::setAttributes(paths::DataFile, 7);
    }
    if (kind == u"huge notes") {
        QFile f(notes1);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(300LL * 1024 * 1024)); // sparse: fast, and far over any limit
    } else if (kind == u"binary notes") {
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char(i * 37 % 256);
        drive.writeFile(notes::pathFor(1), binary);
    } else if (kind == u"notes link") {
        QFile::remove(notes1);
        QVERIFY(QFile::link(outside, notes1));
    }
    const qint64 notesSize = QFileInfo(notes1).size();

    FrmWork window;
    const auto loaded = startup::loadMainWindow(window);
    QVERIFY2(messages.unexpected().isEmpty(), qPrintable(messages.unexpected().join(u'\n')));
    int critical = 0;
    for (const auto &box : messages.shown())
        critical += box.icon == platform::MessageIcon::Critical ? 1 : 0;

    if (expect == Expect::Refused) {
        // Either a clear refusal, or a repair that set the odd file aside.
        if (loaded == startup::LoadResult::Exit)
            QCOMPARE(critical, 1);
    } else {
        QCOMPARE(loaded, startup::LoadResult::Ready);
        QVERIFY(window.fname->text().startsWith(u"First1"));
        if (kind == u"huge notes") {
            QVERIFY(window.notes->toPlainText().size() <= notes::ReadLimit + 200);
            QVERIFY(window.notes->toPlainText().endsWith(u"will not change it.]"));
        }
        messages.clear();
        window.editButton->click();
        window.lname->setText(u"Changed"_s);
        messages.queueAnswer(platform::MessageAnswer::Yes);
        window.editButton->click();
        int boxes = 0;
        for (const auto &box : messages.shown())
            boxes += box.icon == platform::MessageIcon::Critical ? 1 : 0;
        QCOMPARE(boxes, expect == Expect::EditRefused ? 1 : 0);
        QCOMPARE(window.editTag().isEmpty(), expect == Expect::Starts);
    }

    // Nothing outside the data folder was written, nor a big notes file cut.
    QFile f(outside);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), outsideBytes);
    QCOMPARE(QFileInfo(outside).permissions() & QFile::WriteOwner, QFile::WriteOwner);
    if (kind == u"huge notes")
        QCOMPARE(QFileInfo(notes1).size(), notesSize);
}

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
