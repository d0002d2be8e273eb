// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "platform/attributestore.h"
#include "platform/faults.h"
#include "platform/messages.h"
#include "platform/scriptedmessages.h"
#include "startup/programstate.h"
#include "tests/support/tempdrive.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;
using namespace cardomine;
namespace faults = platform::faults;
namespace attributestore = platform::attributestore;

namespace {

// Whether this process holds the pending-work marker open.
bool markerHeldOpen()
{
    const QFileInfoList links =
        QDir(u"/proc/self/fd"_s)
            .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        if (link.symLinkTarget().endsWith(u"/Cardomine.pending"_s))
            return true;
    }
    return false;
}

// Leaves something behind in every piece of state a test can reach.
void dirtyEveryPiece(const testing::TempDrive &drive)
{
    drive.writeFile(paths::DataFile, QByteArray());
    faults::arm(1000, EIO);
    QVERIFY(faults::check("read") == 0);
    attributestore::forceSidecar(true);
    CurrentRecord.FirstName = u"Left"_s;
    IndexLines.resize(3);
    pendingwork::beginReading(pendingwork::Expected{});
    QVERIFY(markerHeldOpen());
}

void verifyClean()
{
    QCOMPARE(faults::operationCount(), 0);
    QVERIFY(faults::writeOperations().empty());
    QVERIFY(!attributestore::sidecarForced());
    QCOMPARE(CurrentRecord, ContactRecord());
    QCOMPARE(IndexLines.highestEntry(), 0);
    QVERIFY(!markerHeldOpen());
}

} // namespace

class TestProgramState : public QObject
{
    Q_OBJECT

private:
    platform::ScriptedMessageService m_messages;

private Q_SLOTS:
    void resetClearsEveryPiece()
    {
        testing::TempDrive drive;
        dirtyEveryPiece(drive);
        platform::setMessageService(&m_messages);
        resetProgramState();
        verifyClean();
        QCOMPARE(platform::installedMessageService(), nullptr);
    }

    // The next test function's first drive clears what this one leaves.
    void leavesStateBehind()
    {
        testing::TempDrive drive;
        dirtyEveryPiece(drive);
    }
    void firstDriveStartsClean()
    {
        // A fixture installs its boxes before the test makes its drive.
        platform::setMessageService(&m_messages);
        testing::TempDrive drive;
        verifyClean();
        QCOMPARE(platform::installedMessageService(), &m_messages);
        platform::setMessageService(nullptr);
    }

    // A second drive in the same test leaves the state as the test set it.
    void secondDriveKeepsState()
    {
        testing::TempDrive drive;
        faults::arm(1000, EIO);
        QVERIFY(faults::check("read") == 0);
        testing::TempDrive other;
        QCOMPARE(faults::operationCount(), 1);
        faults::reset();
    }
};

QTEST_GUILESS_MAIN(TestProgramState)
#include "tst_programstate.moc"
