// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool sync, one pass at a time, on a card file made by the program's store
// code and a vCard folder of its own.
#include "datastore/cardfilereader.h"
#include "tool/sync.h"

#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "interchange/cardfileid.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/nativefolder.h"
#include "tests/tool/toolfixture.h"
#include "tool/contacts.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/mount.h>
#include <unistd.h>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

namespace {

const QByteArray Foreign = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-1\r\nFN:Grace Hopper\r\n"
                           "N:Hopper;Grace;;;\r\nTEL;TYPE=CELL:555.0199\r\nEND:VCARD\r\n";

// Every file under a folder, by relative path, with its bytes.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(folder).relativeFilePath(path), file.readAll());
    }
    return files;
}

// Modification times in nanoseconds, with inodes: a file replaced by the same bytes
// still shows.
QMap<QString, QPair<std::int64_t, std::uint64_t>> mtimes(const QString &folder)
{
    QMap<QString, QPair<std::int64_t, std::uint64_t>> times;
    for (const platform::files::NativeEntry &entry : platform::files::listNativeEntries(folder))
        times.insert(entry.name, {entry.mtimeNs, entry.inode});
    return times;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QString ourFile(int number)
{
    return tool::vcardFileName(interchange::contactUid(*interchange::readCardFileId(), number));
}

// The vCard folder made unwritable: by its mode, or (for root, whom modes do not stop)
// mounted read-only onto itself.
class Unwritable
{
public:
    explicit Unwritable(const QString &folder)
        : m_path(QFile::encodeName(folder))
    {
        if (::geteuid() != 0) {
            m_ok = QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            m_chmod = true;
            return;
        }
        if (::mount(m_path.constData(), m_path.constData(), nullptr, MS_BIND, nullptr) != 0)
            return;
        m_mounted = true;
        m_ok = ::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                       nullptr) == 0;
    }
    ~Unwritable()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
        if (m_chmod)
            QFile::setPermissions(QFile::decodeName(m_path),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const { return m_ok; }

private:
    QByteArray m_path;
    bool m_ok = false;
    bool m_mounted = false;
    bool m_chmod = false;
};

} // namespace

class TestToolSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_drive = std::make_unique<TempDrive>();
        QVERIFY(m_vdir.isValid());
        makeToolStore(*m_drive, u"R"_s);
        QVERIFY(QDir(m_vdir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_vdir.path()));
    }
    void cleanup() { m_drive.reset(); }

    void firstPassWritesEveryContactThenNothing()
    {
        const tool::SyncReport first = tool::syncVdir(m_vdir.path());
        QCOMPARE(first.written, 3);
        const QStringList names = QDir(m_vdir.path()).entryList(QDir::Files | QDir::Hidden);
        QStringList expected{u".cardomine-sync-state"_s, ourFile(1), ourFile(2), ourFile(3)};
        expected.sort();
        QCOMPARE(names, expected);
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(2));
        const QByteArray uid = interchange::contactUid(*interchange::readCardFileId(), 2).toUtf8();
        QVERIFY2(card.contains(QByteArray("\r\nUID:" + uid + "\r\n")), card.constData());

        const auto times = mtimes(m_vdir.path());
        const tool::SyncReport second = tool::syncVdir(m_vdir.path());
        QCOMPARE(second.lines, QStringList{u"Nothing changed."_s});
        QCOMPARE(second.written, 0);
        QVERIFY(!second.stateWritten);
        QCOMPARE(mtimes(m_vdir.path()), times);
    }

    // What the pass must never do: lose or duplicate a contact, or half-apply a pass.
    void badInputChangesNothing_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("message");
        QTest::newRow("vCard that does not parse") << u"garbage"_s << u"broken.vcf: line 3"_s;
        QTest::newRow("card outside BEGIN and END") << u"orphan"_s << u"orphan.vcf: line 1"_s;
        QTest::newRow("two cards in one file") << u"two"_s << u"holds 2 vCards"_s;
        QTest::newRow("folder not writable") << u"readonly"_s << u"cannot be written"_s;
        QTest::newRow("folder missing") << u"missing"_s << u"cannot be written"_s;
        QTest::newRow("card file's seal broken") << u"unsealed"_s << u"seal is broken"_s;
    }
    void badInputChangesNothing()
    {
        QFETCH(QString, situation);
        QFETCH(QString, message);
        tool::syncVdir(m_vdir.path());
        // A change waiting on each side, which a failing pass must not apply.
        writeFile(m_vdir.filePath(u"new.vcf"_s), Foreign);
        QByteArray edited = snapshot(m_vdir.path()).value(ourFile(1));
        edited.replace("020.555.0101", "020.555.9999");
        writeFile(m_vdir.filePath(ourFile(1)), edited);

        QString folder = m_vdir.path();
        std::unique_ptr<Unwritable> unwritable;
        if (situation == u"garbage")
            writeFile(m_vdir.filePath(u"broken.vcf"_s),
                      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN Grace\r\nEND:VCARD\r\n");
        else if (situation == u"orphan")
            writeFile(m_vdir.filePath(u"orphan.vcf"_s), "FN:Nobody\r\n");
        else if (situation == u"two")
            writeFile(m_vdir.filePath(u"two.vcf"_s), Foreign + Foreign);
        else if (situation == u"missing")
            folder = m_vdir.filePath(u"not-there"_s);
        else if (situation == u"unsealed")
            platform::files::setAttributes(paths::DataFile, platform::Normal);
        const auto cardBefore = snapshot(m_drive->root());
        const auto vdirBefore = snapshot(m_vdir.path());
        if (situation == u"readonly") {
            unwritable = std::make_unique<Unwritable>(folder);
            if (!unwritable->ok())
                QSKIP("cannot make a folder unwritable here");
        }

        QString error;
        try {
            tool::syncVdir(folder);
        } catch (const DataError &e) {
            error = e.message();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY2(error.contains(u"Nothing was changed"_s), qPrintable(error));
        unwritable.reset();
        QCOMPARE(snapshot(m_drive->root()), cardBefore);
        QCOMPARE(snapshot(m_vdir.path()), vdirBefore);
    }

    // A garbled state file: the pass recognises its own vCards and adds nothing twice.
    void garbledStateDuplicatesNothing_data()
    {
        QTest::addColumn<QByteArray>("state");
        QTest::newRow("noise") << QByteArray("\x01\x02 not a state file\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut short") << QByteArray("cardomine-sync 1\ncard ");
        QTest::newRow("bad line") << QByteArray("cardomine-sync 1\ncard x\nwriter y\nc 1 2\n");
    }
    void garbledStateDuplicatesNothing()
    {
        QFETCH(QByteArray, state);
        writeFile(m_vdir.filePath(u"new.vcf"_s), Foreign);
        QCOMPARE(tool::syncVdir(m_vdir.path()).added, 1);
        QCOMPARE(indexfile::recordCount(indexfile::read()), 4);
        const auto vdirBefore = snapshot(m_vdir.path());
        const auto cardBefore = snapshot(m_drive->root());

        writeFile(m_vdir.filePath(QLatin1String(tool::SyncStateFileName)), state);
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(report.added, 0);
        QCOMPARE(report.written, 0);
        QCOMPARE(report.conflicts, 0);
        QVERIFY2(report.lines.first().contains(u"could not be read"_s),
                 qPrintable(report.lines.join(u'\n')));
        QCOMPARE(snapshot(m_drive->root()), cardBefore);
        auto vdirAfter = snapshot(m_vdir.path());
        vdirAfter.remove(QLatin1String(tool::SyncStateFileName));
        auto expected = vdirBefore;
        expected.remove(QLatin1String(tool::SyncStateFileName));
        QCOMPARE(vdirAfter, expected);
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    void deletedVCardIsWrittenAgain()
    {
        tool::syncVdir(m_vdir.path());
        const auto before = snapshot(m_vdir.path());
        QVERIFY(QFile::remove(m_vdir.filePath(ourFile(2))));
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(report.restored, 1);
        QVERIFY2(report.lines.join(u'\n').contains(u"contact 2 (Émile Zola) was deleted"_s),
                 qPrintable(report.lines.join(u'\n')));
        QCOMPARE(indexfile::recordCount(indexfile::read()), 3);
        QCOMPARE(snapshot(m_vdir.path()).value(ourFile(2)), before.value(ourFile(2)));
    }

    // A pass stopped after appending a new contact, before its vCard gave way to ours:
    // the next pass finishes the job and appends it only once.
    void passCutShortAfterAppendAddsOnce()
    {
        tool::syncVdir(m_vdir.path());
        writeFile(m_vdir.filePath(u"new.vcf"_s), Foreign);
        // A folder where contact 4's vCard goes makes writing it fail.
        QVERIFY(QDir(m_vdir.path()).mkdir(ourFile(4)));
        QVERIFY_THROWS_EXCEPTION(platform::FileError, tool::syncVdir(m_vdir.path()));
        QCOMPARE(indexfile::recordCount(indexfile::read()), 4);
        QVERIFY(QDir(m_vdir.filePath(ourFile(4))).removeRecursively());

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(indexfile::recordCount(indexfile::read()), 4);
        QCOMPARE(report.written, 1);
        QVERIFY(!QFile::exists(m_vdir.filePath(u"new.vcf"_s)));
        QVERIFY(snapshot(m_vdir.path()).value(ourFile(4)).contains("FN:Grace Hopper"));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // A vCard new to the folder that a record already holds by import's rules is not
    // added, now or on later passes; nor is a second copy of a new one. In both forms.
    void duplicatesAreNotAdded_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("random") << u"R"_s;
        QTest::newRow("sequential") << u"S"_s;
    }
    void duplicatesAreNotAdded()
    {
        QFETCH(QString, form);
        if (form == u"S"_s) {
            m_drive.reset();
            m_drive = std::make_unique<TempDrive>();
            makeToolStore(*m_drive, form);
        }
        writeFile(m_vdir.filePath(u"phone-ada.vcf"_s),
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-ada\r\nFN:Ada Lovelace\r\n"
                  "N:Lovelace;Ada;;;\r\nTEL;TYPE=HOME:020 555 0101\r\nEND:VCARD\r\n");
        writeFile(m_vdir.filePath(u"a.vcf"_s), Foreign);
        writeFile(m_vdir.filePath(u"b.vcf"_s), QByteArray(Foreign).replace("phone-1", "phone-2"));
        for (int pass = 1; pass <= 2; ++pass) {
            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            const QString lines = report.lines.join(u'\n');
            QCOMPARE(report.added, pass == 1 ? 1 : 0);
            QCOMPARE(report.duplicates, 2);
            // The first pass merges the card's UID into contact 1, which then names it.
            QVERIFY2(lines.contains(pass == 1 ? u"Not added, same name and phone as contact 1 "
                                                u"(Ada Lovelace): Ada Lovelace"_s
                                              : u"Not added, the same UID as contact 1 "
                                                u"(Ada Lovelace): Ada Lovelace"_s),
                     qPrintable(lines));
            QCOMPARE(lines.contains(u"merged into contact 1: 1 values"_s), pass == 1);
            const cardfile::CardFile card = cardfile::read();
            QCOMPARE(card.contacts.size(), 4);
            QCOMPARE(card.contacts.last().record.FirstName.text().trimmed(), u"Grace"_s);
        }
        QVERIFY(QFile::exists(m_vdir.filePath(u"phone-ada.vcf"_s)));
    }

private:
    std::unique_ptr<TempDrive> m_drive;
    QTemporaryDir m_vdir;
};

QTEST_GUILESS_MAIN(TestToolSync)
#include "tst_toolsync.moc"
