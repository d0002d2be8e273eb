// SPDX-License-Identifier: GPL-3.0-or-later
// A sync pass ended at once at each of its file operations in turn (those after which
// the files differ), as a kill would end it, then a pass that runs to the end: no contact is lost
// or doubled on either side, every change of both sides arrives, no temporary file is left, and a
// third pass finds nothing to do.
#include "tool/sync.h"

#include "datastore/appendcontacts.h"
#include "datastore/cardfilereader.h"
#include "datastore/dataerror.h"
#include "interchange/cardfileid.h"
#include "platform/faults.h"
#include "platform/fileerror.h"
#include "tests/tool/toolfixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;
namespace faults = cardomine::platform::faults;

namespace {

const QByteArray Phone = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-1\r\nFN:Grace Hopper\r\n"
                         "N:Hopper;Grace;;;\r\nTEL;TYPE=CELL:555.0199\r\nEND:VCARD\r\n";

QString ourFile(int number)
{
    return tool::vcardFileName(interchange::contactUid(*interchange::readCardFileId(), number));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The card file's contacts by number: the last record holding each number, as the
// sequential form's saves leave them.
QMap<int, cardfile::Contact> contactsByNumber()
{
    QMap<int, cardfile::Contact> byNumber;
    for (const cardfile::Contact &c : cardfile::read().contacts)
        byNumber.insert(c.record.contactNumber().value_or(c.position), c);
    return byNumber;
}

} // namespace

class TestSyncKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        faults::reset();
        m_drive.reset();
        m_vdir.reset();
    }

    void killedAtEveryOperation_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("random") << u"R"_s;
        QTest::newRow("sequential") << u"S"_s;
    }

    void killedAtEveryOperation()
    {
        QFETCH(QString, form);
        prepare(form);
        faults::reset();
        QString failed = pass({});
        const qint64 count = faults::operationCount();
        // Killed before the first operation and right after each that changes a file:
        // a kill anywhere else leaves what one of these leaves.
        QList<qint64> points{1};
        for (const std::int64_t changing : faults::changingOperations())
            if (changing < count)
                points.append(changing + 1);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(count > 10);
        editOnThePhoneAgain();
        const QString clean = checkBothSides();
        QVERIFY2(clean.isEmpty(), qPrintable(clean));

        for (const qint64 k : std::as_const(points)) {
            const QString where = u"killed at operation %1 of %2"_s.arg(k).arg(count);
            prepare(form);
            killedPass(k, faults::Mode::Crash, where);
            editOnThePhoneAgain();
            const QString problem = checkBothSides();
            QVERIFY2(problem.isEmpty(), qPrintable(where + u": "_s + problem));
        }
    }

    // The first pass, which writes every vCard new, into a folder holding one phone
    // card: ended at each of its file operations, and cut off in each of its writes as a
    // power cut leaves a file, then a pass to the end.
    void firstPassKilled_data() { killedAtEveryOperation_data(); }

    void firstPassKilled()
    {
        QFETCH(QString, form);
        prepareFirst(form);
        faults::reset();
        const QString failed = pass({});
        const qint64 count = faults::operationCount();
        QList<QPair<qint64, faults::Mode>> points{{1, faults::Mode::Crash}};
        for (const std::int64_t changing : faults::changingOperations())
            if (changing < count)
                points.append({changing + 1, faults::Mode::Crash});
        for (const std::int64_t write : faults::writeOperations())
            points.append({write, faults::Mode::CutShort});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        const QString clean = checkFirstPass();
        QVERIFY2(clean.isEmpty(), qPrintable(clean));

        for (const auto &[k, mode] : std::as_const(points)) {
            const QString where = u"%1 at operation %2 of %3"_s
                                      .arg(mode == faults::Mode::Crash ? u"killed"_s : u"cut"_s)
                                      .arg(k)
                                      .arg(count);
            prepareFirst(form);
            killedPass(k, mode, where);
            const QString problem = checkFirstPass();
            QVERIFY2(problem.isEmpty(), qPrintable(where + u": "_s + problem));
        }
    }

    // The phone rewrites contact 2's card just as a pass puts the card file's edit in
    // its place, and the pass is killed at each operation after that: the phone's
    // version is never lost, whichever side of the swap the kill came.
    void phoneRewriteAtAKilledReplace()
    {
        const auto rewrite = [this](const QString &path) {
            if (!path.endsWith(ourFile(2)))
                return;
            writeAll(path,
                     readAll(path).replace("END:VCARD", "EMAIL;TYPE=home:zola@phone.example\r\n"
                                                        "END:VCARD"));
            writeAll(m_vdir->path() + u".rewritten"_s, "1");
        };
        prepare(u"R"_s);
        faults::reset();
        faults::beforeReplacing(rewrite);
        QVERIFY(pass({}).isEmpty());
        const qint64 count = faults::operationCount();
        QList<qint64> points;
        for (const std::int64_t changing : faults::changingOperations())
            if (changing < count)
                points.append(changing + 1);
        faults::reset();
        QFile::remove(m_vdir->path() + u".rewritten"_s);
        int rewritten = 0;
        for (const qint64 k : std::as_const(points)) {
            const QString where = u"killed at operation %1 of %2"_s.arg(k).arg(count);
            prepare(u"R"_s);
            killedPass(k, faults::Mode::Crash, where, rewrite);
            faults::reset();
            QVERIFY2(pass({}).isEmpty(), qPrintable(where));
            if (!QFile::remove(m_vdir->path() + u".rewritten"_s))
                continue; // killed before the phone's edit
            ++rewritten;
            const QByteArray card = readAll(m_vdir->filePath(ourFile(2)));
            const cardfile::Contact contact = contactsByNumber().value(2);
            QVERIFY2(card.contains("zola@phone.example") ||
                         contact.notes.contains(u"zola@phone.example"_s) ||
                         contact.record.FaxOrEmail.text().contains(u"zola@phone"_s),
                     qPrintable(where + u": "_s + QString::fromUtf8(card)));
            QVERIFY2(contact.record.City.text().startsWith(u"Lyon"_s), qPrintable(where));
        }
        QVERIFY(rewritten > 2);
    }

    // A first pass large enough to create its vCards on more than one thread, killed
    // by a signal once the folder holds so many files (or when it ends first), then a
    // pass to the end.
    void largeFirstPassKilledBySignal_data()
    {
        QTest::addColumn<int>("filesAtKill");
        QTest::newRow("at once") << 0;
        QTest::newRow("a few written") << 40;
        QTest::newRow("most written") << 250;
    }

    void largeFirstPassKilledBySignal()
    {
        QFETCH(int, filesAtKill);
        prepareFirst(u"R"_s);
        QList<store::NewContact> many;
        for (int i = 0; i < 297; ++i) {
            ContactRecord record;
            record.FirstName = u"Person"_s;
            record.LastName = u"Number%1"_s.arg(i);
            record.DataType = u"Contacts"_s;
            many.append({record, QString()});
        }
        store::appendContacts(many);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            faults::unwatch();
            try {
                tool::syncVdir(m_vdir->path());
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        const QDir dir(m_vdir->path());
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0 &&
               dir.entryList(QDir::Files | QDir::Hidden).size() <= filesAtKill)
            QTest::qWait(1);
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        faults::reset();
        QStringList names;
        for (const store::NewContact &c : std::as_const(many))
            names.append(u"Person "_s + c.record.LastName.text().trimmed());
        const QString problem = checkFirstPass(names);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

private:
    // A pass in a child process, ended by the fault armed at operation k.
    void killedPass(qint64 k, faults::Mode mode, const QString &where,
                    const std::function<void(const QString &)> &beforeReplacing = {})
    {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            faults::reset();
            faults::arm(k, 0, mode);
            if (beforeReplacing)
                faults::beforeReplacing(beforeReplacing);
            try {
                tool::syncVdir(m_vdir->path());
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == faults::CrashExitCode,
                 qPrintable(where));
    }

    // The card file never synced, and a folder with one card the phone made.
    void prepareFirst(const QString &form)
    {
        m_drive.reset();
        m_vdir = std::make_unique<QTemporaryDir>();
        m_drive = std::make_unique<TempDrive>();
        makeToolStore(*m_drive, form);
        writeAll(m_vdir->filePath(u"phone-new.vcf"_s), Phone);
    }

    // After a first pass that may have been killed, a pass to the end: each contact once
    // in the card file and once in the folder, every vCard whole, nothing left over, and
    // a further pass finds nothing to do (more: the names of contacts added beside the
    // fixture's). Empty when all is well.
    QString checkFirstPass(const QStringList &more = {}) const
    {
        QStringList lines;
        if (const QString failed = pass(&lines); !failed.isEmpty())
            return u"the pass after the kill failed: "_s + failed;
        if (lines.join(u'\n').contains(u"left as it is"_s))
            return u"a file was left alone: "_s + lines.join(u" / "_s);
        QStringList expected{u"Ada Lovelace"_s, u"Émile Zola"_s, u"Zoë Brontë"_s,
                             u"Grace Hopper"_s};
        expected += more;
        expected.sort();
        QStringList inCard;
        for (const cardfile::Contact &c : contactsByNumber())
            inCard.append(c.record.FirstName.text().trimmed() + u' ' +
                          c.record.LastName.text().trimmed());
        inCard.sort();
        if (inCard != expected)
            return u"card file holds: "_s + inCard.join(u", "_s);
        return checkFolder(expected);
    }

    // The folder holds one whole vCard for each of the expected names (sorted) and
    // nothing else but the state, and a further pass does nothing. Empty when so.
    QString checkFolder(const QStringList &expected) const
    {
        static const QRegularExpression FullName(u"^FN:(.*)$"_s,
                                                 QRegularExpression::MultilineOption);
        QStringList inFolder;
        QStringList leftovers;
        const QDir dir(m_vdir->path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
            if (name == QLatin1String(tool::SyncStateFileName))
                continue;
            if (name.startsWith(u'.') || !name.endsWith(u".vcf"_s)) {
                leftovers.append(name);
                continue;
            }
            // A file cut off holds no name.
            const QString card = QString::fromUtf8(readAll(dir.filePath(name)));
            inFolder.append(card.contains(u"END:VCARD"_s)
                                ? FullName.match(card).captured(1).trimmed()
                                : QString());
        }
        if (!leftovers.isEmpty())
            return u"left in the folder: "_s + leftovers.join(u", "_s);
        inFolder.sort();
        if (inFolder != expected)
            return u"folder holds: "_s + inFolder.join(u", "_s);
        QStringList again;
        if (const QString failed = pass(&again); !failed.isEmpty())
            return u"a further pass failed: "_s + failed;
        if (again != QStringList{u"Nothing changed."_s})
            return u"a further pass did: "_s + again.join(u" / "_s);
        return {};
    }

    // A synced card file and folder, then changes on both sides: the phone adds a
    // contact, edits one and deletes another's card; the card file edits one and adds
    // one.
    void prepare(const QString &form)
    {
        m_drive.reset();
        m_vdir = std::make_unique<QTemporaryDir>();
        m_drive = std::make_unique<TempDrive>();
        makeToolStore(*m_drive, form);
        tool::syncVdir(m_vdir->path());

        writeAll(m_vdir->filePath(u"phone-new.vcf"_s), Phone);
        const QString first = m_vdir->filePath(ourFile(1));
        QByteArray edited = readAll(first);
        edited.replace("Lovelace", "King");
        writeAll(first, edited);
        QVERIFY(QFile::remove(m_vdir->filePath(ourFile(3))));

        ContactRecord record = contactsByNumber().value(2).record;
        record.City = u"Lyon"_s;
        store::replaceContact(2, record, contactsByNumber().value(2).notes);
        ContactRecord added;
        added.FirstName = u"Mary"_s;
        added.LastName = u"Somerville"_s;
        added.DataType = u"Contacts"_s;
        store::appendContacts({{added, QString()}});
    }

    // The phone edits again before the next pass: both edits must arrive whole.
    void editOnThePhoneAgain()
    {
        const QString first = m_vdir->filePath(ourFile(1));
        writeAll(first, readAll(first).replace("ada@example.org", "ada@king.example"));
        const QString added = m_vdir->filePath(u"phone-new.vcf"_s);
        writeAll(added, readAll(added).replace("555.0199", "555.0200"));
    }

    // A pass; empty when it ran to the end, else why not. Its report when asked.
    QString pass(QStringList *lines) const
    {
        try {
            const tool::SyncReport report = tool::syncVdir(m_vdir->path());
            if (lines)
                *lines = report.lines;
        } catch (const DataError &error) {
            return error.message();
        } catch (const platform::FileError &error) {
            return error.message();
        }
        return {};
    }

    // What both sides hold after a pass that runs to the end: empty when all is well.
    QString checkBothSides() const
    {
        QStringList lines;
        if (const QString failed = pass(&lines); !failed.isEmpty())
            return u"the pass after the kill failed: "_s + failed;
        if (lines.join(u'\n').contains(u"Conflict"_s))
            return u"a conflict where only the phone changed: "_s + lines.join(u" / "_s);
        const QStringList people{u"Ada King"_s, u"Émile Zola"_s, u"Zoë Brontë"_s,
                                 u"Mary Somerville"_s, u"Grace Hopper"_s};
        QStringList inCard;
        const QMap<int, cardfile::Contact> byNumber = contactsByNumber();
        for (const cardfile::Contact &c : byNumber)
            inCard.append(c.record.FirstName.text().trimmed() + u' ' +
                          c.record.LastName.text().trimmed());
        inCard.sort();
        QStringList expected = people;
        expected.sort();
        if (inCard != expected)
            return u"card file holds: "_s + inCard.join(u", "_s);
        if (!byNumber.value(2).record.City.text().startsWith(u"Lyon"_s))
            return u"the card file's edit is gone"_s;
        for (const cardfile::Contact &c : byNumber) {
            const QByteArray values = c.record.toRandomBytes();
            if (values.contains("King") && values.contains("ada@example.org"))
                return u"the phone's second edit of contact 1 is missing"_s;
            if (values.contains("Hopper") && values.contains("555.0199"))
                return u"the phone's edit of its new contact is missing"_s;
        }

        if (!readAll(m_vdir->filePath(ourFile(2))).contains("Lyon"))
            return u"the vCard of contact 2 lacks the card file's edit"_s;
        return checkFolder(expected);
    }

    std::unique_ptr<TempDrive> m_drive;
    std::unique_ptr<QTemporaryDir> m_vdir;
};

QTEST_GUILESS_MAIN(TestSyncKill)
#include "tst_synckill.moc"
