// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/mainwindowload.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/datafunctions.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/recovered.h"
#include "datastore/repairplan.h"
#include "datastore/repairsteps.h"
#include "datastore/seal.h"
#include "mainwindow/about.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/lockablecombobox.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/geometry.h"
#include "platform/messages.h"
#include "platform/textcodec.h"

#include <QLineEdit>
#include <QScrollBar>

#include <algorithm>

namespace files = cardomine::platform::files;
using cardomine::platform::MessageIcon;
using cardomine::platform::notice;

namespace cardomine::startup {

namespace {

// The sequential form's first record needs at most twelve lines; reading a bounded
// prefix keeps a huge or foreign data file from filling memory.
constexpr std::int64_t SequentialReadLimit = 64 * 1024;

void addTypeNames(FrmWork &window, const QStringList &names)
{
    for (const QString &name : names) {
        if (window.cboCustomer->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            window.cboCustomer->addItem(name);
    }
}

void perform(const repairplan::Step &step, FrmWork &window)
{
    using repairplan::StepKind;
    switch (step.kind) {
    case StepKind::ShowNotice:
        notice(step.notice.title, step.notice.text,
               step.notice.icon == repairplan::NoticeIcon::Critical ? MessageIcon::Critical
                                                                    : MessageIcon::Information,
               &window);
        break;
    case StepKind::ReadIndex:
        IndexLines = indexfile::read();
        addTypeNames(window, IndexLines.typeNames());
        // The sequential form stores no DataType: the first record keeps this one's.
        CurrentRecord = sampleContact();
        break;
    default:
        repairplan::performFileStep(step);
        break;
    }
}

// Creates, checks and rebuilds the two files until both carry their seals, one step
// of the repair plan at a time. The folder is observed again after every step, so a
// file system that does not keep what it is given is met as it is.
void checkAndRepair(FrmWork &window, QList<repairplan::Step> *performed)
{
    repairplan::Cursor cursor;
    for (;;) {
        const repairplan::Step step = repairplan::nextStep(repairplan::observeFolder(), cursor);
        if (performed)
            performed->append(step);
        perform(step, window);
        if (step.kind == repairplan::StepKind::Finished)
            return;
    }
}

// Reads the first record in the data file's form into CurrentRecord.
void readFirstRecord()
{
    if (indexfile::fileTypeLetter(IndexLines) == QLatin1String("S")) {
        const QByteArray head = files::readBytes(paths::DataFile, SequentialReadLimit);
        CurrentRecord.setFromSequentialLines(platform::text::splitLines(head));
    } else {
        CurrentRecord.setFromRandomBytes(
            files::readRecord(paths::DataFile, 1, ContactRecord::Length));
    }
}

void showStartFailure(FrmWork &window, const QString &reason)
{
    notice(QStringLiteral("Cardomine Cannot Start"),
           reason + QStringLiteral("\rCardomine will now close."), MessageIcon::Critical, &window);
}

} // namespace

LoadResult loadMainWindow(FrmWork &window, QList<repairplan::Step> *performed)
{
    showAbout(&window);
    platform::centreOnScreen(&window);

    try {
        checkAndRepair(window, performed);
        readFirstRecord();
        window.showCurrentRecord();

        // A count of 0 (an index edited by hand) still leaves record 1 on display.
        const int count = indexfile::recordCount(IndexLines);
        window.ScrollBar->setMaximum(std::max(count, window.ScrollBar->minimum()));
        window.ScrollBar->setValue(window.ScrollBar->minimum());

        const std::optional<int> id = CurrentRecord.contactNumber();
        Data_Functions::ShowNotes(window, id);
    } catch (const platform::FileError &error) {
        showStartFailure(window, error.message());
        return LoadResult::Exit;
    } catch (const DataError &error) {
        showStartFailure(window, error.message());
        return LoadResult::Exit;
    }

    if (window.cboCustomer->count() > 0)
        window.cboCustomer->setCurrentIndex(0);
    window.show();
    window.activateWindow();
    // The focus goes where the window's own tab order starts.
    window.fname->setFocus(Qt::ActiveWindowFocusReason);
    return LoadResult::Ready;
}

} // namespace cardomine::startup
