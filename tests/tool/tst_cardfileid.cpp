// SPDX-License-Identifier: GPL-3.0-or-later
// The card file's identifier and the UIDs made from it; the lock the writing
// commands take.
#include "interchange/cardfileid.h"
#include "tool/folderlock.h"

#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "tests/support/tempdrive.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

class TestCardFileId : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identifierIsKeptAndDiffersPerCardFile()
    {
        QUuid first;
        {
            TempDrive drive;
            platform::files::createFolder(u"c:\\Program Files"_s);
            platform::files::createFolder(paths::DataFolder);
            QVERIFY(!interchange::readCardFileId());
            first = interchange::cardFileId();
            QCOMPARE(interchange::cardFileId(), first);
            QCOMPARE(interchange::readCardFileId(), std::optional<QUuid>(first));
        }
        TempDrive other;
        platform::files::createFolder(u"c:\\Program Files"_s);
        platform::files::createFolder(paths::DataFolder);
        QVERIFY(interchange::cardFileId() != first);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<int>("expected"); // 0: not one of ours
        const QUuid ours = QUuid::fromString(u"0f8fad5b-d9cb-469f-a165-70867728950e"_s);
        const QUuid theirs = QUuid::fromString(u"7c9e6679-7425-40de-944b-e07fc1f90ae7"_s);
        QTest::newRow("ours") << interchange::contactUid(ours, 12) << 12;
        QTest::newRow("ours, upper case") << interchange::contactUid(ours, 3).toUpper() << 3;
        QTest::newRow("another card file's") << interchange::contactUid(theirs, 12) << 0;
        QTest::newRow("ours, past the highest") << interchange::contactUid(ours, 101) << 0;
        QTest::newRow("bare number") << u"7"_s << 7;
        QTest::newRow("bare number past the highest") << u"101"_s << 0;
        QTest::newRow("zero") << u"0"_s << 0;
        QTest::newRow("signed") << u"+7"_s << 0;
        QTest::newRow("foreign") << u"a1b2c3"_s << 0;
    }
    void lookup()
    {
        QFETCH(QString, uid);
        QFETCH(int, expected);
        const interchange::UidLookup lookup(
            QUuid::fromString(u"0f8fad5b-d9cb-469f-a165-70867728950e"_s), 100);
        QCOMPARE(lookup.contactNumber(uid).value_or(0), expected);
    }

    void secondLockIsRefused()
    {
        TempDrive drive;
        const auto held = tool::lockDataFolder();
        QVERIFY(held);
        QVERIFY_THROWS_EXCEPTION(DataError, tool::lockDataFolder());
    }
};

QTEST_GUILESS_MAIN(TestCardFileId)
#include "tst_cardfileid.moc"
