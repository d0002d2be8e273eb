// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool sync, one pass at a time, on a card file made by the program's store
// code and a vCard folder of its own.
#include "datastore/cardfilereader.h"
#include "tool/sync.h"

#include "datastore/appendcontacts.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "interchange/cardfileid.h"
#include "interchange/exportformats.h"
#include "platform/faults.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/instancelock.h"
#include "platform/nativefolder.h"
#include "platform/textcodec.h"
#include "tests/tool/toolfixture.h"
#include "tool/contacts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
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

// Another program's rewrite that the pass's listing does not see, as if made just after
// it: in place, of the same size, with the modification time put back.
void rewriteUnseen(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    const std::int64_t mtime = mtimes(info.path()).value(info.fileName()).first;
    QCOMPARE(QFile(path).size(), bytes.size());
    writeFile(path, bytes);
    const QByteArray native = QFile::encodeName(path);
    const timespec times[2] = {{0, UTIME_OMIT}, {mtime / 1000000000, mtime % 1000000000}};
    QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
}

// A phone's copy of a card: the same card under another UID; empty without a UID.
QByteArray phoneCopy(QByteArray card)
{
    const qsizetype uid = card.indexOf("UID:");
    if (uid < 0)
        return {};
    return card.replace(uid, card.indexOf("\r\n", uid) - uid, "UID:copy-1");
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
        if (situation == u"missing")
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

    // A pass stopped after appending a new contact, before its state said so: the next
    // pass finishes the job and appends it only once, its file left as the phone's. An
    // edit made in the card file in between goes out to it.
    void passCutShortAfterAppendAddsOnce_data()
    {
        QTest::addColumn<QString>("firstName"); // given in the card file in between
        QTest::newRow("nothing changed since") << QString();
        QTest::newRow("edited in the card file since") << u"Gracie"_s;
    }
    void passCutShortAfterAppendAddsOnce()
    {
        QFETCH(QString, firstName);
        tool::syncVdir(m_vdir.path());
        writeFile(m_vdir.filePath(u"new.vcf"_s), Foreign);
        // Writing contact 1's deleted vCard again fails.
        QVERIFY(QFile::remove(m_vdir.filePath(ourFile(1))));
        platform::faults::beforeReplacing([](const QString &) {
            platform::faults::arm(platform::faults::operationCount() + 1, EIO);
        });
        QVERIFY_THROWS_EXCEPTION(platform::FileError, tool::syncVdir(m_vdir.path()));
        platform::faults::reset();
        QCOMPARE(indexfile::recordCount(indexfile::read()), 4);
        if (!firstName.isEmpty()) {
            const cardfile::Contact grace = cardfile::read().contacts.last();
            ContactRecord record = grace.record;
            record.FirstName = firstName;
            store::replaceContact(4, record, grace.notes);
        }

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(indexfile::recordCount(indexfile::read()), 4);
        QCOMPARE(report.written, firstName.isEmpty() ? 1 : 2);
        const QByteArray card = snapshot(m_vdir.path()).value(u"new.vcf"_s);
        if (firstName.isEmpty())
            QCOMPARE(card, Foreign);
        else
            QVERIFY2(card.contains(QString(u"N:Hopper;"_s + firstName).toUtf8()), card.constData());
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // A vCard new to the folder that a record already holds by import's rules is not
    // added, now or on later passes; nor is a second copy of a new one. In both forms.
    // What it brings is merged in, and it stays as a second vCard of that contact.
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
        const tool::SyncReport first = tool::syncVdir(m_vdir.path());
        const QString lines = first.lines.join(u'\n');
        QCOMPARE(first.added, 1);
        QCOMPARE(first.duplicates, 2);
        QVERIFY2(lines.contains(u"Not added, same name and phone as contact 1 (Ada Lovelace): Ada "
                                u"Lovelace"_s),
                 qPrintable(lines));
        QVERIFY2(lines.contains(u"merged into contact 1: 1 values; kept as a second vCard"_s),
                 qPrintable(lines));
        const QMap<QString, QByteArray> before = snapshot(m_vdir.path());
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
        QCOMPARE(snapshot(m_vdir.path()), before);
        const cardfile::CardFile card = cardfile::read();
        QCOMPARE(card.contacts.size(), 4);
        QCOMPARE(card.contacts.last().record.FirstName.text().trimmed(), u"Grace"_s);
        QVERIFY(QFile::exists(m_vdir.filePath(u"phone-ada.vcf"_s)));
    }

    // A second vCard of a contact follows it: the card file's edits go out to it without
    // narrowing it, its own edits come in, deleting it deletes nothing, and a lost state
    // links it again rather than adding it.
    void secondVCardFollowsItsContact_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("card file edit") << u"edit"_s;
        QTest::newRow("copy edited") << u"copy"_s;
        QTest::newRow("copy deleted") << u"delete"_s;
        QTest::newRow("state lost") << u"lost"_s;
        QTest::newRow("card file edit, copy rewritten behind the listing") << u"behind"_s;
    }
    void secondVCardFollowsItsContact()
    {
        QFETCH(QString, step);
        tool::syncVdir(m_vdir.path());
        QByteArray copy = phoneCopy(snapshot(m_vdir.path()).value(ourFile(1)));
        QVERIFY(!copy.isEmpty());
        copy.replace("END:VCARD", "BDAY:1815-12-10\r\nEND:VCARD");
        writeFile(m_vdir.filePath(u"copy.vcf"_s), copy);
        QCOMPARE(tool::syncVdir(m_vdir.path()).duplicates, 1);
        const cardfile::Contact one = cardfile::read().contacts.first();
        const QString home = one.record.HomePhone.text().trimmed();

        QString report;
        if (step == u"edit"_s || step == u"behind"_s) {
            ContactRecord record = one.record;
            record.HomePhone = u"020 555 7777"_s;
            store::replaceContact(1, record, one.notes);
            if (step == u"behind"_s)
                rewriteUnseen(m_vdir.filePath(u"copy.vcf"_s),
                              QByteArray(copy).replace(home.toUtf8(), "020.555.3333"));
        } else if (step == u"copy"_s) {
            writeFile(m_vdir.filePath(u"copy.vcf"_s),
                      QByteArray(copy).replace(home.toUtf8(), "020.555.3333"));
        } else if (step == u"delete"_s) {
            QVERIFY(QFile::remove(m_vdir.filePath(u"copy.vcf"_s)));
        } else {
            QVERIFY(QFile::remove(m_vdir.filePath(QLatin1String(tool::SyncStateFileName))));
        }
        tool::SyncReport pass = tool::syncVdir(m_vdir.path());
        if (step == u"behind"_s) {
            // Left for the next pass, which finds the home phone changed on both sides.
            QVERIFY2(pass.lines.join(u'\n').contains(u"copy.vcf: changed by another program"_s),
                     qPrintable(pass.lines.join(u'\n')));
            pass = tool::syncVdir(m_vdir.path());
            QVERIFY(cardfile::read().contacts.first().notes.contains(u"020.555.3333"_s));
        }
        report = pass.lines.join(u'\n');
        QCOMPARE(pass.added, 0);
        QCOMPARE(cardfile::read().contacts.size(), 3);
        const QString want = step == u"edit"_s || step == u"behind"_s ? u"020 555 7777"_s
                             : step == u"copy"_s                      ? u"020.555.3333"_s
                                                                      : home;
        QCOMPARE(cardfile::read().contacts.first().record.HomePhone.text().trimmed(), want);
        const QMap<QString, QByteArray> after = snapshot(m_vdir.path());
        QVERIFY2(after.value(ourFile(1)).contains(want.toUtf8()), qPrintable(report));
        if (step == u"delete"_s) {
            QVERIFY2(report.contains(u"a second vCard of contact 1"_s), qPrintable(report));
            QVERIFY(!after.contains(u"copy.vcf"_s));
        } else {
            QVERIFY2(
                after.value(u"copy.vcf"_s).contains(QByteArray("TEL;TYPE=home:" + want.toUtf8())),
                after.value(u"copy.vcf"_s).constData());
            QVERIFY(after.value(u"copy.vcf"_s).contains("BDAY:1815-12-10"));
            QVERIFY2(!report.contains(u"left as it is"_s), qPrintable(report));
        }
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
        QCOMPARE(snapshot(m_vdir.path()), after);
    }

    // A file the pass cannot read is named at every pass and left as it is; every other
    // contact still syncs.
    void unreadableVCardIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("does not parse") << QByteArray("broken.vcf")
                                        << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN Grace\r\n"
                                                      "END:VCARD\r\n")
                                        << u"broken.vcf: line 3"_s;
        QTest::newRow("outside BEGIN and END")
            << QByteArray("orphan.vcf") << QByteArray("FN:Nobody\r\n") << u"orphan.vcf: line 1"_s;
        QTest::newRow("two cards") << QByteArray("two.vcf")
                                   << QByteArray(Foreign).replace("phone-1", "phone-9").repeated(2)
                                   << u"two.vcf: the file holds 2 vCards"_s;
        QTest::newRow("name not UTF-8")
            << QByteArray("M\xfcller.vcf") << Foreign << u"ller.vcf: the file name is not UTF-8"_s;
    }
    // A file under the name our vCard of a contact would have, which does not read as a
    // vCard, is left as it is at every pass (never written over), and the others sync.
    void unreadableFileUnderOurNameIsLeftAlone()
    {
        const QByteArray garbage = "BEGIN:VCARD\r\nFN:Half a card\r\n";
        interchange::cardFileId(); // made now, as the first pass would make it
        writeFile(m_vdir.filePath(ourFile(2)), garbage);
        for (int pass = 1; pass <= 2; ++pass) {
            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            QVERIFY2(report.lines.join(u'\n').contains(ourFile(2) + u": line"_s),
                     qPrintable(report.lines.join(u'\n')));
            QCOMPARE(report.leftAlone, 1);
            QCOMPARE(report.written, pass == 1 ? 2 : 0);
        }
        const QMap<QString, QByteArray> files = snapshot(m_vdir.path());
        QCOMPARE(files.value(ourFile(2)), garbage);
        QVERIFY(files.contains(ourFile(1)) && files.contains(ourFile(3)));
    }

    void unreadableVCardIsLeftAlone()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        tool::syncVdir(m_vdir.path());
        QByteArray edited = snapshot(m_vdir.path()).value(ourFile(1));
        edited.replace("020.555.0101", "020.555.9999");
        writeFile(m_vdir.filePath(ourFile(1)), edited);
        writeFile(m_vdir.filePath(u"new.vcf"_s),
                  QByteArray(Foreign).replace("Grace", "Ida").replace("phone-1", "phone-3"));
        const QByteArray path = QFile::encodeName(m_vdir.path()) + '/' + name;
        const auto removeBad = qScopeGuard([&path] { ::unlink(path.constData()); });
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);

        for (int pass = 1; pass <= 2; ++pass) {
            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            const QString lines = report.lines.join(u'\n');
            QVERIFY2(lines.contains(message) && lines.contains(u"left as it is"_s),
                     qPrintable(lines));
            QCOMPARE(report.leftAlone, 1);
            QCOMPARE(report.added, pass == 1 ? 1 : 0);
            QCOMPARE(report.updated, pass == 1 ? 1 : 0);
        }
        const cardfile::CardFile card = cardfile::read();
        QCOMPARE(card.contacts.size(), 4);
        QCOMPARE(card.contacts.at(0).record.HomePhone.text().trimmed(), u"020.555.9999"_s);
        struct stat info
        {};
        QCOMPARE(::stat(path.constData(), &info), 0);
        QCOMPARE(qint64(info.st_size), qint64(bytes.size()));
    }

    // The phone's card stays the phone's: taken in under its own name and UID, and a
    // record edited in the card file changes only that value in it.
    void phoneCardKeepsWhatTheCardFileCannotHold()
    {
        const QByteArray phone =
            u"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-7\r\nFN:Łukasz Wójcik\r\n"
            "N:Wójcik;Łukasz;;;\r\nTEL;TYPE=CELL:+84 90 123 4567\r\nTEL;TYPE=HOME:020 555 0111\r\n"
            "EMAIL:lukasz.wojcik.with.a.long.address@example.com\r\nBDAY:1980-02-03\r\n"
            "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQ\r\nNOTE:Мария 🙂\r\nEND:VCARD\r\n"_s
                .toUtf8();
        tool::syncVdir(m_vdir.path());
        writeFile(m_vdir.filePath(u"phone-7.vcf"_s), phone);
        QCOMPARE(tool::syncVdir(m_vdir.path()).added, 1);
        QCOMPARE(snapshot(m_vdir.path()).value(u"phone-7.vcf"_s), phone);
        QVERIFY(!QFile::exists(m_vdir.filePath(ourFile(4))));

        // An edit through the store's save routine.
        const cardfile::Contact added = cardfile::read().contacts.last();
        QCOMPARE(added.record.FirstName.text().trimmed(), u"?ukasz"_s);
        ContactRecord record = added.record;
        record.HomePhone = u"020 555 0222"_s;
        store::replaceContact(4, record, added.notes);
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(report.written, 1);
        QCOMPARE(snapshot(m_vdir.path()).value(u"phone-7.vcf"_s),
                 QByteArray(phone).replace("020 555 0111", "020 555 0222"));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});

        // The UID kept in the notes finds the card again without the state file.
        QVERIFY(QFile::remove(m_vdir.filePath(QLatin1String(tool::SyncStateFileName))));
        const tool::SyncReport lost = tool::syncVdir(m_vdir.path());
        QCOMPARE(lost.added, 0);
        QCOMPARE(lost.written, 0);
        QCOMPARE(cardfile::read().contacts.size(), 4);
    }

    // A bare number is no UID of ours: such a card is a new contact, never contact 2.
    void bareNumberUidIsAStranger()
    {
        tool::syncVdir(m_vdir.path());
        const cardfile::Contact two = cardfile::read().contacts.at(1);
        writeFile(m_vdir.filePath(u"old-export.vcf"_s),
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:2\r\nFN:Nikola Tesla\r\nN:Tesla;Nikola;;;\r\n"
                  "TEL:555 0144\r\nEND:VCARD\r\n");
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(report.added, 1);
        const cardfile::CardFile card = cardfile::read();
        QCOMPARE(card.contacts.size(), 4);
        QCOMPARE(card.contacts.at(1).record, two.record);
        QCOMPARE(card.contacts.at(1).notes, two.notes);
        QCOMPARE(card.contacts.at(3).record.LastName.text().trimmed(), u"Tesla"_s);
    }

    // Killed after the state named the number a new phone contact would get, before the
    // append: a contact made in Cardomine meanwhile takes that number. The phone's card
    // is still added, and never deleted.
    void numberNamedBeforeAKilledAppendIsNoPromise()
    {
        tool::syncVdir(m_vdir.path());
        writeFile(m_vdir.filePath(u"new.vcf"_s), Foreign);
        const QString statePath = m_vdir.filePath(QLatin1String(tool::SyncStateFileName));
        QByteArray state = snapshot(m_vdir.path()).value(QLatin1String(tool::SyncStateFileName));
        state += "p " +
                 QCryptographicHash::hash(Foreign, QCryptographicHash::Sha1).left(8).toHex() +
                 " 4 new.vcf\n";
        writeFile(statePath, state);
        ContactRecord other;
        other.FirstName = u"Mary"_s;
        other.LastName = u"Somerville"_s;
        other.DataType = u"Contacts"_s;
        QCOMPARE(store::appendContacts({{other, QString()}}), QList<int>{4});

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(report.added, 1);
        QVERIFY(QFile::exists(m_vdir.filePath(u"new.vcf"_s)));
        const cardfile::CardFile card = cardfile::read();
        QCOMPARE(card.contacts.size(), 5);
        QCOMPARE(card.contacts.at(3).record.LastName.text().trimmed(), u"Somerville"_s);
        QCOMPARE(card.contacts.at(4).record.LastName.text().trimmed(), u"Hopper"_s);
    }

    // The card file put back from a copy older than a phone contact's take-in: the number
    // that contact had goes to the next contact, made by the pass or in Cardomine. The
    // phone's card is never written over with it; it is taken in again.
    void restoredCardFileNeverOverwritesAPhoneCard_data()
    {
        QTest::addColumn<bool>("phoneAdds");
        QTest::addColumn<bool>("graceOnPhone"); // else made in Cardomine: a card of ours
        // Then the phone deletes the new contact's card: it is written again, elsewhere
        // than under the name the other card holds.
        QTest::addColumn<bool>("phoneDeletes");
        // Our card had a copy on the phone, linked to it, and is copied again after the
        // restore: both copies come back with it.
        QTest::addColumn<bool>("copied");
        // A long home number the phone gives our card, which the new contact's box holds
        // cut alike: two numbers, not one.
        QTest::addColumn<QString>("home");
        // Then the state file is lost, a pass runs, and the phone edits the taken-in card:
        // the edit goes to the contact that took it in, not to the one its UID's number
        // names now.
        QTest::addColumn<bool>("loseState");
        QTest::newRow("the phone adds a contact")
            << true << true << false << false << QString() << false;
        QTest::newRow("Cardomine adds a contact")
            << false << true << false << false << QString() << false;
        QTest::newRow("our card, the phone adds a contact")
            << true << false << false << false << QString() << false;
        QTest::newRow("our card, Cardomine adds a contact")
            << false << false << false << false << QString() << false;
        QTest::newRow("our card, the phone adds a contact and deletes it")
            << true << false << true << false << QString() << false;
        QTest::newRow("our card and its copy, copied again")
            << true << false << false << true << QString() << false;
        QTest::newRow("our card, Cardomine adds a contact, a number cut alike")
            << false << false << false << false << u"+84 90 123 4567"_s << false;
        QTest::newRow("our card, Cardomine adds a contact, state lost, phone edit")
            << false << false << false << false << QString() << true;
    }
    void restoredCardFileNeverOverwritesAPhoneCard()
    {
        QFETCH(bool, phoneAdds);
        QFETCH(bool, graceOnPhone);
        QFETCH(bool, phoneDeletes);
        QFETCH(bool, copied);
        QFETCH(QString, home);
        QFETCH(bool, loseState);
        tool::syncVdir(m_vdir.path());
        const QString folder = m_drive->native(paths::DataFolder);
        const QMap<QString, QByteArray> backup = snapshot(folder);
        const QMap<QString, int> attributes{
            {paths::DataFile, platform::files::attributes(paths::DataFile)},
            {paths::IndexFile, platform::files::attributes(paths::IndexFile)}};
        const QString graceFile = graceOnPhone ? u"grace.vcf"_s : ourFile(4);
        if (graceOnPhone) {
            writeFile(m_vdir.filePath(graceFile), Foreign);
            QCOMPARE(tool::syncVdir(m_vdir.path()).added, 1);
        } else {
            ContactRecord grace;
            grace.FirstName = u"Grace"_s;
            grace.LastName = u"Hopper"_s;
            grace.PagerMobile = u"555.0199"_s;
            grace.DataType = u"Contacts"_s;
            QCOMPARE(store::appendContacts({{grace, QString()}}), QList<int>{4});
            QCOMPARE(tool::syncVdir(m_vdir.path()).written, 1);
        }
        QByteArray graceCard = snapshot(m_vdir.path()).value(graceFile);
        if (copied) {
            writeFile(m_vdir.filePath(u"z-copy.vcf"_s), phoneCopy(graceCard));
            QCOMPARE(tool::syncVdir(m_vdir.path()).duplicates, 1);
        }

        QVERIFY(QDir(folder).removeRecursively());
        for (auto it = backup.cbegin(); it != backup.cend(); ++it) {
            QVERIFY(QDir().mkpath(QFileInfo(folder + u'/' + it.key()).path()));
            writeFile(folder + u'/' + it.key(), *it);
        }
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
            platform::files::setAttributes(it.key(), it.value());
        QCOMPARE(cardfile::read().contacts.size(), 3);
        if (copied)
            writeFile(m_vdir.filePath(u"a-copy.vcf"_s),
                      phoneCopy(graceCard).replace("UID:copy-1", "UID:copy-2"));
        if (phoneAdds) {
            writeFile(m_vdir.filePath(u"mary.vcf"_s),
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-2\r\nFN:Mary Somerville\r\n"
                      "N:Somerville;Mary;;;\r\nEND:VCARD\r\n");
        } else {
            ContactRecord other;
            other.FirstName = u"Mary"_s;
            other.LastName = u"Somerville"_s;
            other.DataType = u"Contacts"_s;
            QString notes;
            if (!home.isEmpty()) {
                other.HomePhone = home.left(12);
                notes = u"Imported values that do not fit a box:\r\nHome phone: "_s +
                        home.left(12) + u"99"_s;
                graceCard.replace(
                    "END:VCARD", QString(u"TEL;TYPE=home:"_s + home + u"\r\nEND:VCARD"_s).toUtf8());
                writeFile(m_vdir.filePath(graceFile), graceCard);
            }
            QCOMPARE(store::appendContacts({{other, notes}}), QList<int>{4});
        }

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(snapshot(m_vdir.path()).value(graceFile), graceCard);
        QStringList lastNames;
        for (const cardfile::Contact &c : cardfile::read().contacts)
            lastNames.append(c.record.LastName.text().trimmed());
        QVERIFY2(lastNames.count(u"Hopper"_s) == 1 && lastNames.count(u"Somerville"_s) == 1,
                 qPrintable(report.lines.join(u" | "_s)));
        if (phoneDeletes) {
            QVERIFY(QFile::remove(m_vdir.filePath(u"mary.vcf"_s)));
            const tool::SyncReport again = tool::syncVdir(m_vdir.path());
            QCOMPARE(again.restored, 1);
            QCOMPARE(snapshot(m_vdir.path()).value(graceFile), graceCard);
            int marys = 0;
            for (const QByteArray &bytes : snapshot(m_vdir.path()))
                marys += bytes.count("FN:Mary Somerville");
            QVERIFY2(marys == 1, qPrintable(again.lines.join(u" | "_s)));
        }
        if (loseState) {
            QVERIFY(QFile::remove(m_vdir.filePath(QLatin1String(tool::SyncStateFileName))));
            tool::syncVdir(m_vdir.path());
            QVERIFY(graceCard.contains("555.0199"));
            writeFile(m_vdir.filePath(graceFile), graceCard.replace("555.0199", "555.0198"));
            const tool::SyncReport again = tool::syncVdir(m_vdir.path());
            int graces = 0;
            for (const QByteArray &bytes : snapshot(m_vdir.path()))
                graces += bytes.count("FN:Grace Hopper");
            QVERIFY2(graces == 1 && again.updated == 1, qPrintable(again.lines.join(u" | "_s)));
            for (const cardfile::Contact &c : cardfile::read().contacts)
                if (c.record.LastName.text().trimmed() == u"Hopper")
                    QCOMPARE(c.record.PagerMobile.text().trimmed(), u"555.0198"_s);
        }
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // With the state lost nobody knows which side changed: the phone's card is never
    // narrowed or given older values; the card file takes the phone's value and keeps its
    // own in the notes.
    void lostStateNeverNarrowsThePhone()
    {
        tool::syncVdir(m_vdir.path());
        QByteArray edited = snapshot(m_vdir.path()).value(ourFile(1));
        const qsizetype tel = edited.indexOf("TEL;TYPE=home:");
        QVERIFY(tel >= 0);
        edited.replace(tel, edited.indexOf("\r\n", tel) - tel, "TEL;TYPE=home:+84 90 123 4567 8");
        edited.replace("END:VCARD", "NOTE:Met at the café 🙂\r\nEND:VCARD");
        writeFile(m_vdir.filePath(ourFile(1)), edited);
        const cardfile::Contact before = cardfile::read().contacts.first();
        QVERIFY(QFile::remove(m_vdir.filePath(QLatin1String(tool::SyncStateFileName))));

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(snapshot(m_vdir.path()).value(ourFile(1)), edited);
        const cardfile::Contact after = cardfile::read().contacts.first();
        QCOMPARE(after.record.HomePhone.text().trimmed(), u"+84 90 123 4"_s);
        QVERIFY2(after.notes.contains(u"Home phone: "_s + before.record.HomePhone.text().trimmed()),
                 qPrintable(report.lines.join(u" | "_s) + u'\n' + after.notes));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // Only the pass's own leftovers are removed, and a conflicts "folder" that is a link
    // is not read, so nothing it points to is deleted.
    void leftoversAndLinks()
    {
        tool::syncVdir(m_vdir.path());
        const QString ours = m_vdir.filePath(u"."_s + ourFile(1) + u".tmp-Ab12Cd"_s);
        const QString oursState = m_vdir.filePath(u"..cardomine-sync-state.tmp-x1Y2z3"_s);
        const QString theirs = m_vdir.filePath(u".other.vcf.swp"_s);
        const QString theirsToo = m_vdir.filePath(u"card.vcf.tmp"_s);
        for (const QString &path : {ours, oursState, theirs, theirsToo})
            writeFile(path, "partial");
        QTemporaryDir elsewhere;
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        writeFile(elsewhere.filePath(u"kept.vcf"_s), card);
        QVERIFY(QFile::link(elsewhere.path(),
                            m_vdir.filePath(QLatin1String(tool::SyncConflictFolderName))));

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QVERIFY2(report.lines.join(u'\n').contains(u"is not a folder"_s),
                 qPrintable(report.lines.join(u'\n')));
        QVERIFY(!QFile::exists(ours));
        QVERIFY(!QFile::exists(oursState));
        QVERIFY(QFile::exists(theirs));
        QVERIFY(QFile::exists(theirsToo));
        QCOMPARE(snapshot(elsewhere.path()).value(u"kept.vcf"_s), card);
        QCOMPARE(report.conflicts, 0);
    }

    // A card too big for the notes (a note of more than the notes limit) is named at each
    // pass and left where it is, and never stops the others.
    void hugeCardIsNamedAndLeft()
    {
        tool::syncVdir(m_vdir.path());
        const QByteArray note = QByteArray(1100 * 1024, 'A');
        writeFile(m_vdir.filePath(u"huge.vcf"_s),
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:huge\r\nFN:Big Note\r\nN:Note;Big;;;\r\n"
                  "NOTE:" +
                      note + "\r\nEND:VCARD\r\n");
        writeFile(m_vdir.filePath(u"new.vcf"_s), Foreign);
        for (int pass = 1; pass <= 2; ++pass) {
            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            const QString lines = report.lines.join(u'\n');
            QVERIFY2(lines.contains(u"huge.vcf: not added"_s), qPrintable(lines));
            QCOMPARE(report.added, pass == 1 ? 1 : 0);
        }
        QCOMPARE(cardfile::read().contacts.size(), 4);
        QVERIFY(QFile::exists(m_vdir.filePath(u"huge.vcf"_s)));
    }

    // A value changed on both sides keeps the card file's; the phone's goes into the notes
    // as one line, never with its photo, so repeated conflicts never double the notes,
    // and the phone's card keeps its photo.
    void conflictsKeepNotesSmall()
    {
        tool::syncVdir(m_vdir.path());
        const QByteArray photo = "PHOTO;ENCODING=b;TYPE=JPEG:" + QByteArray(200 * 1024, 'B');
        for (int round = 1; round <= 3; ++round) {
            const QByteArray theirs = "020.555.1" + QByteArray::number(round * 111);
            QByteArray edited = snapshot(m_vdir.path()).value(ourFile(1));
            const qsizetype tel = edited.indexOf("TEL;TYPE=home:");
            QVERIFY(tel >= 0);
            edited.replace(tel, edited.indexOf("\r\n", tel) - tel,
                           QByteArray("TEL;TYPE=home:" + theirs));
            if (!edited.contains("PHOTO"))
                edited.replace("END:VCARD", QByteArray(photo + "\r\nEND:VCARD"));
            writeFile(m_vdir.filePath(ourFile(1)), edited);
            const cardfile::Contact one = cardfile::read().contacts.first();
            ContactRecord record = one.record;
            record.HomePhone = u"020.555.2"_s + QString::number(round * 111);
            store::replaceContact(1, record, one.notes);

            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            QCOMPARE(report.conflicts, 1);
            const cardfile::Contact after = cardfile::read().contacts.first();
            QCOMPARE(after.record.HomePhone, record.HomePhone);
            QVERIFY2(after.notes.contains(u"Home phone: "_s + QString::fromLatin1(theirs)),
                     qPrintable(after.notes));
            QVERIFY2(after.notes.size() < 2000, qPrintable(after.notes.left(300)));
            const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
            QVERIFY(card.contains(photo));
            QVERIFY(card.contains(
                QByteArray("TEL;TYPE=home:" + record.HomePhone.text().trimmed().toLatin1())));
        }
    }

    // A contact changed on both sides merges value by value: changes to different values
    // are both applied; only a value changed on both, to different text, is a conflict,
    // kept in the notes and sent to the phone as note text. A state an earlier version
    // wrote, without the values of the last pass, still gives a whole-contact conflict.
    void bothSidesMergeByValue_data()
    {
        QTest::addColumn<QString>("phoneHome");
        QTest::addColumn<QString>("cardHome");
        QTest::addColumn<bool>("oldState");
        QTest::addColumn<QString>("home");
        QTest::addColumn<int>("conflicts");
        // A value the notes keep that no property stands for: it goes out as note text.
        QTest::addColumn<QString>("kept");
        QTest::newRow("different values")
            << u"+84 90 123 4567"_s << QString() << false << u"+84 90 123 4"_s << 0 << QString();
        QTest::newRow("same value alike") << u"020.555.4242"_s << u"020.555.4242"_s << false
                                          << u"020.555.4242"_s << 0 << QString();
        QTest::newRow("same value") << u"020.555.1111"_s << u"020.555.2222"_s << false
                                    << u"020.555.2222"_s << 1 << QString();
        QTest::newRow("same value, a box's earlier whole value in the note")
            << u"020.555.1111"_s << u"020.555.2222"_s << false << u"020.555.2222"_s << 1
            << u"Fax or e-mail: ada.lovelace.of.the.analytical.engine@example.org"_s;
        QTest::newRow("earlier state")
            << u"020.555.1111"_s << QString() << true << QString() << 1 << QString();
    }
    void bothSidesMergeByValue()
    {
        QFETCH(QString, phoneHome);
        QFETCH(QString, cardHome);
        QFETCH(bool, oldState);
        QFETCH(QString, home);
        QFETCH(int, conflicts);
        QFETCH(QString, kept);
        if (!kept.isEmpty()) {
            const cardfile::Contact one = cardfile::read().contacts.first();
            store::replaceContact(1, one.record,
                                  one.notes + u"\r\nImported values that do not fit a box:\r\n"_s +
                                      kept);
        }
        tool::syncVdir(m_vdir.path());
        const QString statePath = m_vdir.filePath(QLatin1String(tool::SyncStateFileName));
        if (oldState) {
            QByteArray state =
                snapshot(m_vdir.path()).value(QLatin1String(tool::SyncStateFileName));
            QByteArray old;
            for (const QByteArray &line : state.split('\n'))
                if (!line.isEmpty())
                    old +=
                        (line.startsWith("c ") ? line.split(' ').mid(0, 9).join(' ') : line) + '\n';
            QVERIFY(old != state);
            writeFile(statePath, old);
        }
        QByteArray edited = snapshot(m_vdir.path()).value(ourFile(1));
        const qsizetype tel = edited.indexOf("TEL;TYPE=home:");
        QVERIFY(tel >= 0);
        edited.replace(tel, edited.indexOf("\r\n", tel) - tel,
                       QByteArray("TEL;TYPE=home:" + phoneHome.toUtf8()));
        writeFile(m_vdir.filePath(ourFile(1)), edited);
        const cardfile::Contact before = cardfile::read().contacts.first();
        ContactRecord record = before.record;
        record.City = u"Besançon"_s;
        if (!cardHome.isEmpty())
            record.HomePhone = cardHome;
        store::replaceContact(1, record, before.notes);

        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        const QString lines = report.lines.join(u" | "_s);
        QCOMPARE(report.conflicts, conflicts);
        const cardfile::Contact after = cardfile::read().contacts.first();
        QCOMPARE(after.record.City.text().trimmed(), u"Besançon"_s);
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY2(card.contains(u"Besançon"_s.toUtf8()), card.constData());
        if (oldState) {
            QCOMPARE(after.record.HomePhone.text(), before.record.HomePhone.text());
        } else {
            QCOMPARE(after.record.HomePhone.text().trimmed(), home);
            // The phone's whole number stays on the phone; the card file's goes out.
            const QString sent = cardHome.isEmpty() ? phoneHome : cardHome;
            QVERIFY2(card.contains(QString(u"TEL;TYPE=home:"_s + sent).toUtf8()), card.constData());
            const QString line = u"Home phone: "_s + phoneHome;
            // In a conflict block of the own notes, before the section of kept values.
            const qsizetype block = after.notes.indexOf(u"--- Sync conflict"_s);
            const QString blocks =
                block < 0 ? QString()
                          : after.notes.mid(block).section(u"Imported values that"_s, 0, 0);
            QCOMPARE(blocks.count(line), conflicts);
            QCOMPARE(QString::fromUtf8(card).remove(u"\r\n "_s).count(line), conflicts);
            // The phone's note keeps the rest of its text when the conflict is added.
            QVERIFY2(QString::fromUtf8(card).remove(u"\r\n "_s).contains(kept), card.constData());
        }
        QVERIFY2(tool::syncVdir(m_vdir.path()).lines == QStringList{u"Nothing changed."_s},
                 qPrintable(lines));
    }

    // A phone edit taken in keeps the values a copy of the card merged into the notes
    // earlier: they are on no other side.
    void takeInKeepsValuesACopyMerged()
    {
        tool::syncVdir(m_vdir.path());
        QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QByteArray copy = phoneCopy(card);
        QVERIFY(!copy.isEmpty());
        copy.replace("END:VCARD", "EMAIL:second@example.org\r\nEND:VCARD");
        writeFile(m_vdir.filePath(u"copy.vcf"_s), copy);
        tool::syncVdir(m_vdir.path());
        QVERIFY(cardfile::read().contacts.first().notes.contains(u"second@example.org"_s));

        const qsizetype tel = card.indexOf("TEL;TYPE=home:");
        QVERIFY(tel >= 0);
        card.replace(tel, card.indexOf("\r\n", tel) - tel, "TEL;TYPE=home:020.555.3333");
        writeFile(m_vdir.filePath(ourFile(1)), card);
        QCOMPARE(tool::syncVdir(m_vdir.path()).updated, 1);
        const cardfile::Contact after = cardfile::read().contacts.first();
        QCOMPARE(after.record.HomePhone.text().trimmed(), u"020.555.3333"_s);
        QVERIFY2(after.notes.contains(u"second@example.org"_s), qPrintable(after.notes));
    }

    // A phone's copy of a contact renamed before the pass saw the copy is still that
    // contact's: not added, and the new name goes out to it too. Renamed on both sides,
    // only the last pass's values still hold the name the copy has.
    void copyOfRenamedContactIsNotAdded_data()
    {
        QTest::addColumn<QByteArray>("phoneName"); // the phone's own card renamed to
        QTest::addColumn<QByteArray>("fn");
        QTest::newRow("in the card file") << QByteArray() << QByteArray("FN:Augusta Lovelace");
        QTest::newRow("on both sides") << QByteArray("King") << QByteArray("FN:Augusta King");
    }
    void copyOfRenamedContactIsNotAdded()
    {
        QFETCH(QByteArray, phoneName);
        QFETCH(QByteArray, fn);
        tool::syncVdir(m_vdir.path());
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QByteArray copy = phoneCopy(card);
        QVERIFY(!copy.isEmpty());
        writeFile(m_vdir.filePath(u"copy.vcf"_s), copy);
        if (!phoneName.isEmpty()) {
            QVERIFY(card.contains("N:Lovelace;Ada;"));
            writeFile(m_vdir.filePath(ourFile(1)),
                      QByteArray(card)
                          .replace("N:Lovelace;Ada;", QByteArray("N:" + phoneName + ";Ada;"))
                          .replace("FN:Ada Lovelace", QByteArray("FN:Ada " + phoneName)));
        }
        const cardfile::Contact one = cardfile::read().contacts.first();
        ContactRecord record = one.record;
        record.FirstName = u"Augusta"_s;
        store::replaceContact(1, record, one.notes);
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        const QString lines = report.lines.join(u" | "_s);
        QCOMPARE(report.added, 0);
        QCOMPARE(report.duplicates, 1);
        QCOMPARE(cardfile::read().contacts.size(), 3);
        QVERIFY2(snapshot(m_vdir.path()).value(u"copy.vcf"_s).contains(fn), qPrintable(lines));
        QVERIFY2(snapshot(m_vdir.path()).value(ourFile(1)).contains(fn), qPrintable(lines));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // A second e-mail the user corrects in the notes' section is a change made in the
    // card file: it goes out into the phone's own property, whose type stays.
    void correctedSectionValueGoesOut()
    {
        const QByteArray phone = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-9\r\nFN:Grace Hopper\r\n"
                                 "N:Hopper;Grace;;;\r\nEMAIL;TYPE=HOME:grace@example.org\r\n"
                                 "EMAIL;TYPE=WORK:second@example.org\r\nEND:VCARD\r\n";
        tool::syncVdir(m_vdir.path());
        writeFile(m_vdir.filePath(u"phone-9.vcf"_s), phone);
        QCOMPARE(tool::syncVdir(m_vdir.path()).added, 1);
        const cardfile::Contact added = cardfile::read().contacts.last();
        QVERIFY2(added.notes.contains(u"second@example.org"_s), qPrintable(added.notes));
        QString notes = added.notes;
        notes.replace(u"second@example.org"_s, u"fixed@example.org"_s);
        store::replaceContact(added.position, added.record, notes);
        QCOMPARE(tool::syncVdir(m_vdir.path()).written, 1);
        QCOMPARE(snapshot(m_vdir.path()).value(u"phone-9.vcf"_s),
                 QByteArray(phone).replace("second@", "fixed@"));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // A value the box holds cut goes out whole when the notes keep it whole: a record put
    // back after a phone edit gives the phone its long e-mail address again, not the cut
    // text of the box as a fax number.
    void cutValueGoesOutWhole()
    {
        const cardfile::Contact one = cardfile::read().contacts.first();
        ContactRecord record = one.record;
        const QString whole = u"someone.with.a.long.address.1@example.com"_s;
        record.FaxOrEmail = whole.left(30);
        const QString notes =
            u"Imported values that do not fit a box:\r\nFax or e-mail: "_s + whole;
        store::replaceContact(1, record, notes);
        tool::syncVdir(m_vdir.path());
        const QString path = m_vdir.filePath(ourFile(1));
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY2(card.contains(QByteArray("EMAIL:" + whole.toUtf8())), card.constData());
        writeFile(path, QByteArray(card).replace(whole.toUtf8(), "other@example.org"));
        QCOMPARE(tool::syncVdir(m_vdir.path()).updated, 1);

        store::replaceContact(1, record, notes); // put back, as from a backup
        tool::syncVdir(m_vdir.path());
        const QByteArray after = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY2(after.contains(QByteArray("EMAIL:" + whole.toUtf8())), after.constData());
        QVERIFY2(!after.contains("FAX"), after.constData());
    }

    // A phone edit past what the box shows, the card file unchanged, is taken in: the
    // notes keep the new whole value, and the next pass finds nothing to do.
    void phoneEditPastTheBoxIsTakenIn_data()
    {
        QTest::addColumn<QByteArray>("property"); // the value's property, up to the value
        QTest::addColumn<QByteArray>("value");    // as the pass wrote it
        QTest::addColumn<QByteArray>("first");    // a long value, taken in
        QTest::addColumn<QByteArray>("second");   // the same cut to the box
        QTest::addColumn<QString>("label");
        QTest::newRow("first name") << QByteArray("N:Lovelace;") << QByteArray("Ada")
                                    << QByteArray("Maximiliane-Friederike")
                                    << QByteArray("Maximiliane-Friedrich") << u"First name"_s;
        QTest::newRow("home phone")
            << QByteArray("TEL;TYPE=home:") << QByteArray("020.555.0101")
            << QByteArray("+84 90 123 4567") << QByteArray("+84 90 123 4599") << u"Home phone"_s;
    }
    void phoneEditPastTheBoxIsTakenIn()
    {
        QFETCH(QByteArray, property);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QString, label);
        tool::syncVdir(m_vdir.path());
        const QString path = m_vdir.filePath(ourFile(1));
        QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY(card.contains(QByteArray(property + value)));
        writeFile(path, card.replace(QByteArray(property + value), QByteArray(property + first)));
        QCOMPARE(tool::syncVdir(m_vdir.path()).updated, 1);
        writeFile(path, card.replace(QByteArray(property + first), QByteArray(property + second)));
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        QCOMPARE(report.updated, 1);
        const QString notes = cardfile::read().contacts.first().notes;
        QVERIFY2(notes.contains(label + u": "_s + QString::fromUtf8(second)), qPrintable(notes));
        QCOMPARE(snapshot(m_vdir.path()).value(ourFile(1)), card);
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});

        // The same edit back in the card file's notes, the box unchanged: it goes out.
        const cardfile::Contact one = cardfile::read().contacts.first();
        store::replaceContact(
            1, one.record,
            QString(one.notes).replace(label + u": "_s + QString::fromUtf8(second),
                                       label + u": "_s + QString::fromUtf8(first)));
        QCOMPARE(tool::syncVdir(m_vdir.path()).written, 1);
        const QByteArray out = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY2(out.contains(QByteArray(property + first)) && !out.contains(second),
                 out.constData());
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // A conflict line holds the phone's whole value, not the box's cut of it.
    // Letters the card file lacks are kept as the phone wrote them, too.
    // An edit the box does not show (past its width, or in a letter it shows as "?") of
    // a value the phone held at the last pass is a change all the same.
    void conflictKeepsThePhonesWholeValue_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("phone");
        QTest::newRow("longer than the box") << QString() << u"Maximiliane-Friederike"_s;
        QTest::newRow("letters outside Windows-1252") << QString() << u"Łucja"_s;
        QTest::newRow("edited past the box's width")
            << u"Maximiliane-Friederike"_s << u"Maximiliane-Friedrich"_s;
        QTest::newRow("edited in a letter the box shows as ?") << u"Łucja"_s << u"Ńucja"_s;
    }
    void conflictKeepsThePhonesWholeValue()
    {
        QFETCH(QString, before);
        QFETCH(QString, phone);
        tool::syncVdir(m_vdir.path());
        const auto phoneGives = [this](const QString &given) {
            QByteArray edited = snapshot(m_vdir.path()).value(ourFile(1));
            const qsizetype n = edited.indexOf("\r\nN:");
            QVERIFY(n >= 0);
            const qsizetype at = edited.indexOf(';', n) + 1;
            edited.replace(at, edited.indexOf(';', at) - at, given.toUtf8());
            writeFile(m_vdir.filePath(ourFile(1)), edited);
        };
        if (!before.isEmpty()) {
            phoneGives(before);
            QCOMPARE(tool::syncVdir(m_vdir.path()).updated, 1);
        }
        phoneGives(phone);
        const cardfile::Contact one = cardfile::read().contacts.first();
        ContactRecord record = one.record;
        record.FirstName = u"Renée"_s;
        store::replaceContact(1, record, one.notes);

        QCOMPARE(tool::syncVdir(m_vdir.path()).conflicts, 1);
        const QString notes = cardfile::read().contacts.first().notes;
        // The card file's notes hold what Windows-1252 can; the phone's note, whole.
        const QString kept = platform::text::decode(platform::text::encode(phone));
        QVERIFY2(notes.contains(u"First name: "_s + kept + u"\r\n"_s) ||
                     notes.endsWith(u"First name: "_s + kept),
                 qPrintable(notes));
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY2(card.contains(QByteArray("First name: " + phone.toUtf8())), card.constData());
    }

    // Phone edits in either file form take the contact in place, never add it again.
    void phoneEditsAddNothing_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("random") << u"R"_s;
        QTest::newRow("sequential") << u"S"_s;
    }
    void phoneEditsAddNothing()
    {
        QFETCH(QString, form);
        m_drive.reset();
        m_drive = std::make_unique<TempDrive>();
        makeToolStore(*m_drive, form);
        tool::syncVdir(m_vdir.path());
        for (int round = 1; round <= 3; ++round) {
            for (int n = 1; n <= 3; ++n) {
                QByteArray edited = snapshot(m_vdir.path()).value(ourFile(n));
                QVERIFY(!edited.isEmpty());
                edited.replace("END:VCARD", QByteArray("TITLE:Round " + QByteArray::number(round) +
                                                       "\r\nEND:VCARD"));
                const qsizetype fn = edited.indexOf("FN:");
                edited.insert(edited.indexOf("\r\n", fn), QByteArray::number(round));
                writeFile(m_vdir.filePath(ourFile(n)), edited);
            }
            // And one edited in the card file, saved where the store's save puts it (the
            // sequential form appends it and lowers the count).
            QMap<int, cardfile::Contact> byNumber; // the last record of each number
            for (const cardfile::Contact &c : cardfile::read().contacts)
                byNumber.insert(c.record.contactNumber().value_or(0), c);
            ContactRecord record = byNumber.value(2).record;
            record.City = u"Lyon "_s + QString::number(round);
            store::replaceContact(2, record, byNumber.value(2).notes);
            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            QVERIFY2(report.added == 0, qPrintable(report.lines.join(u'\n')));
            QCOMPARE(tool::syncVdir(m_vdir.path()).added, 0);
            byNumber.clear();
            for (const cardfile::Contact &c : cardfile::read().contacts)
                byNumber.insert(c.record.contactNumber().value_or(0), c);
            QCOMPARE(byNumber.keys(), (QList<int>{1, 2, 3}));
            QCOMPARE(byNumber.value(2).record.City, record.City);
            QVERIFY(snapshot(m_vdir.path())
                        .value(ourFile(2))
                        .contains(QByteArray("Lyon " + QByteArray::number(round))));
        }
    }

    // A copy of one of our vCards under another name, edited: named at each pass, never
    // taken in, while the contact's own file is unchanged.
    // Records are taken as stored: blank ones (spaces, NULs, past the end of the data
    // file) get no vCard, and every other one gets the card export makes of it, whatever
    // its bytes; a second pass finds nothing to do.
    void recordsAsStored_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("blank");
        QByteArray odd = ContactRecord().toRandomBytes();
        odd.replace(0, 6, QByteArray("A\x81\x9d\0\xe9\x80", 6));
        odd.replace(10, 3, "Zed");
        odd.replace(157, 1, "2"); // its number, which names its notes file
        QTest::newRow("undefined and NUL bytes") << odd << false;
        QTest::newRow("spaces") << QByteArray(249, ' ') << true;
        QTest::newRow("NULs, a type") << QByteArray(229, '\0') + QByteArray(20, 'x') << true;
        QTest::newRow("cut short") << odd.first(160) << false;
    }
    void recordsAsStored()
    {
        QFETCH(QByteArray, record);
        QFETCH(bool, blank);
        namespace files = platform::files;
        // Contact 1 as saved, the record under test at 2, and a count of 3 that reaches
        // past the end of the data file.
        const QByteArray first = m_drive->readFile(paths::DataFile).first(ContactRecord::Length);
        files::setAttributes(paths::DataFile, 0);
        files::setAttributes(paths::IndexFile, 0);
        m_drive->writeFile(paths::DataFile, first + record);
        m_drive->writeFile(paths::IndexFile, "Num_Of_Types=1\r\nData_Type=Contacts\r\n"
                                             "Num_Of_Records=3\r\nFile_Type=R\r\n");
        files::setAttributes(paths::IndexFile, 5);
        files::setAttributes(paths::DataFile, 7);

        const tool::SyncReport pass = tool::syncVdir(m_vdir.path());
        QCOMPARE(pass.written, blank ? 1 : 2);
        const QMap<QString, QByteArray> written = snapshot(m_vdir.path());
        const QUuid id = *interchange::readCardFileId();
        for (const cardfile::Contact &contact : cardfile::read().contacts)
            QCOMPARE(written.value(ourFile(contact.position)), interchange::toVCard({contact}, id));
        QCOMPARE(written.contains(ourFile(2)), !blank);
        QVERIFY(!written.contains(ourFile(3)));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    void secondCopyOfOurCardIsNamed()
    {
        tool::syncVdir(m_vdir.path());
        QByteArray copy = snapshot(m_vdir.path()).value(ourFile(1));
        copy.replace("Lovelace", "Byron");
        writeFile(m_vdir.filePath(u"copy.vcf"_s), copy);
        for (int pass = 1; pass <= 2; ++pass) {
            const tool::SyncReport report = tool::syncVdir(m_vdir.path());
            QCOMPARE(report.lines.size(), 1);
            QVERIFY2(report.lines.first().contains(u"copy.vcf is a second vCard of contact 1"_s),
                     qPrintable(report.lines.first()));
        }
        QCOMPARE(cardfile::read().contacts.at(0).record.LastName.text().trimmed(), u"Lovelace"_s);
    }

    // Another program rewrites a file in the folder after the pass read it, just before
    // the pass replaces or deletes it: the rewrite stays as written, the report names the
    // file, and the next pass takes the rewrite in. The rewrite keeps the size (and, done
    // in place, the inode), so only the bytes tell it.
    void anotherProgramsRewriteIsKept_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("record change written out") << u"replace"_s;
        QTest::newRow("write after a conflict") << u"conflict"_s;
        QTest::newRow("deleted vCard written again") << u"restore"_s;
        QTest::newRow("set-aside version deleted") << u"delete"_s;
        // Rewritten after the listing found the file as the last pass left it (here its
        // size, inode and modification time kept, which the listing then sees alike).
        QTest::newRow("record change over a file not read") << u"unlisted"_s;
    }
    void anotherProgramsRewriteIsKept()
    {
        QFETCH(QString, what);
        tool::syncVdir(m_vdir.path());
        const QByteArray synced = snapshot(m_vdir.path()).value(ourFile(1));
        const auto edited = [&synced](const char *from, const char *to) {
            return QByteArray(synced).replace(from, to);
        };
        QString target = m_vdir.filePath(ourFile(1));
        const bool recordChanged = what == u"replace" || what == u"conflict" || what == u"unlisted";
        if (recordChanged) {
            const cardfile::Contact one = cardfile::read().contacts.first();
            ContactRecord record = one.record;
            record.HomePhone = u"020.555.2222"_s;
            store::replaceContact(1, record, one.notes);
        }
        QByteArray rewrite = edited("ada@example.org", "ada@rewrite.org");
        if (what == u"conflict") {
            writeFile(target, edited("020.555.0101", "020.555.3333"));
            rewrite.replace("020.555.0101", "020.555.3333");
        } else if (what == u"restore") {
            QVERIFY(QFile::remove(target));
        } else if (what == u"delete") {
            const QString folder = m_vdir.filePath(QLatin1String(tool::SyncConflictFolderName));
            QVERIFY(QDir().mkpath(folder));
            target = folder + u"/server.vcf"_s;
            writeFile(target, edited("020.555.0101", "020.555.3333"));
            rewrite.replace("020.555.0101", "020.555.3333");
        }
        QCOMPARE(rewrite.size(), synced.size());

        bool rewritten = false;
        if (what == u"unlisted") {
            rewriteUnseen(target, rewrite);
            rewritten = true;
        }
        platform::faults::beforeReplacing([&](const QString &path) {
            if (!rewritten && QFileInfo(path) == QFileInfo(target)) {
                rewritten = true;
                writeFile(target, rewrite);
            }
        });
        const tool::SyncReport report = tool::syncVdir(m_vdir.path());
        platform::faults::reset();
        QVERIFY(rewritten);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), rewrite);
        const QString lines = report.lines.join(u'\n');
        QVERIFY2(lines.contains(QFileInfo(target).fileName() +
                                u": changed by another program during the pass"_s),
                 qPrintable(lines));

        tool::syncVdir(m_vdir.path());
        const cardfile::Contact one = cardfile::read().contacts.first();
        const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
        QVERIFY2(one.record.FaxOrEmail.text().trimmed() == u"ada@rewrite.org"_s ||
                     one.notes.contains(u"ada@rewrite.org"_s),
                 qPrintable(one.notes));
        if (recordChanged)
            QVERIFY2(card.contains("020.555.2222"), card.constData());
        QVERIFY(!QFile::exists(m_vdir.filePath(u".cardomine-conflicts/server.vcf"_s)));
        QCOMPARE(tool::syncVdir(m_vdir.path()).lines, QStringList{u"Nothing changed."_s});
    }

    // Another program's rewrite at any file operation of a pass that writes a record
    // change out: it is never written over, and the next pass takes it in. The same when
    // the phone had deleted the card, which the pass writes again as a new file.
    void rewriteAtAnyOperationIsKept_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("card replaced") << false;
        QTest::newRow("card written again") << true;
    }

    void rewriteAtAnyOperationIsKept()
    {
        QFETCH(bool, deleted);
        for (std::int64_t k = 1;; ++k) {
            m_drive.reset();
            m_drive = std::make_unique<TempDrive>();
            makeToolStore(*m_drive, u"R"_s);
            QVERIFY(QDir(m_vdir.path()).removeRecursively());
            QVERIFY(QDir().mkpath(m_vdir.path()));
            tool::syncVdir(m_vdir.path());
            const QString target = m_vdir.filePath(ourFile(1));
            const QByteArray rewrite = snapshot(m_vdir.path())
                                           .value(ourFile(1))
                                           .replace("ada@example.org", "ada@rewrite.org");
            const cardfile::Contact one = cardfile::read().contacts.first();
            ContactRecord record = one.record;
            record.HomePhone = u"020.555.2222"_s;
            store::replaceContact(1, record, one.notes);
            if (deleted)
                QVERIFY(QFile::remove(target));
            platform::faults::reset();
            bool rewritten = false;
            platform::faults::atOperation(k, [&] {
                rewritten = true;
                writeFile(target, rewrite);
            });
            tool::syncVdir(m_vdir.path());
            platform::faults::reset();
            if (!rewritten)
                break;
            tool::syncVdir(m_vdir.path());
            const cardfile::Contact after = cardfile::read().contacts.first();
            const QByteArray card = snapshot(m_vdir.path()).value(ourFile(1));
            QVERIFY2(after.record.FaxOrEmail.text().trimmed() == u"ada@rewrite.org"_s ||
                         after.notes.contains(u"ada@rewrite.org"_s),
                     qPrintable(u"at operation %1: "_s.arg(k) + after.notes));
            // Both sides agree: on the card file's number, or on the rewrite's, when it
            // came after the pass wrote the vCard.
            QVERIFY2(card.contains("ada@rewrite.org") &&
                         card.contains(after.record.HomePhone.text().trimmed().toUtf8()),
                     qPrintable(u"at operation %1: "_s.arg(k) + QString::fromUtf8(card)));
        }
    }

    // Cardomine open: a status of its own, which the systemd unit counts as success.
    void busyCardFileHasItsOwnExitStatus()
    {
        platform::InstanceLock program(paths::DataFolder);
        QVERIFY(program.tryLock());
        const ToolRun run = runTool(*m_drive, {u"sync"_s, u"--vdir"_s, m_vdir.path()});
        QCOMPARE(run.exitCode, 75);
        QVERIFY2(run.err.contains("in use"), run.err.constData());
        QVERIFY(QDir(m_vdir.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    }

private:
    std::unique_ptr<TempDrive> m_drive;
    QTemporaryDir m_vdir;
};

QTEST_GUILESS_MAIN(TestToolSync)
#include "tst_toolsync.moc"
