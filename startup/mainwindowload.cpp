#include "startup/mainwindowload.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
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
#include "startup/filerepair.h"

#include <QLineEdit>
#include <QScrollBar>

#include <algorithm>

namespace files = cardomine::platform::files;
using cardomine::platform::MessageIcon;
using cardomine::platform::notice;

namespace cardomine::startup {

namespace {

constexpr int SealedIndex = seal::IndexFile;
constexpr int SealedData = seal::DataFile;

// Rebuilding both files from any state takes four passes of the repair loop. Files
// that still read as altered after that do not keep their seal on this file system,
// and every further pass would only set them aside again.
constexpr int MaxRepairPasses = 5;

// The sequential form's first record needs at most twelve lines; reading a bounded
// prefix keeps a huge or foreign data file from filling memory.
constexpr std::int64_t SequentialReadLimit = 64 * 1024;

const QString ProgramFilesFolder = QStringLiteral("c:\\Program Files");

void showCreatedIndex(QWidget *parent) // M1
{
    notice(QStringLiteral("File Creation Notice!"), QStringLiteral("INDEX.TBL has been created!"),
           MessageIcon::Information, parent);
}

void showCorruptedIndex(QWidget *parent) // M2, M3
{
    notice(QStringLiteral("File Corruption Notice!"),
           QStringLiteral("The INDEX.TBL file was corrupted and will now be deleted and then "
                          "recreated by Cardomine!"),
           MessageIcon::Critical, parent);
    notice(QStringLiteral("Be Careful!"),
           QStringLiteral("It is in your best interest while using this program not to alter the "
                          "INDEX.TBL file.\rDoing so will result in LOST INFORMATION!!"),
           MessageIcon::Information, parent);
}

void showDataCreated(QWidget *parent) // M4
{
    notice(QStringLiteral("File Update Completed!"), QStringLiteral("Data File Has Been Updated!"),
           MessageIcon::Information, parent);
}

void showDataRebuild(QWidget *parent) // M5
{
    notice(QStringLiteral("File Update Will Occur Now. . ."),
           QStringLiteral("The Data file will now be updated to correspond with the information "
                          "in the INDEX file. . ."),
           MessageIcon::Information, parent);
}

void addTypeNames(FrmWork &window, const QStringList &names)
{
    for (const QString &name : names) {
        if (window.cboCustomer->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            window.cboCustomer->addItem(name);
    }
}

// Creates, checks and rebuilds the two files until both carry their seals. Files the
// repair replaces are moved aside, not deleted.
void checkAndRepair(FrmWork &window)
{
    if (!files::folderExists(ProgramFilesFolder))
        files::createFolder(ProgramFilesFolder);

    // Files a record routine left unsealed when the program was cut short are sealed
    // again, when they are as it left them.
    pendingwork::finishInterrupted();

    for (int pass = 1;; ++pass) {
        if (pass > MaxRepairPasses) {
            // The data file is set aside as the repair meant to (its index is gone), so
            // that the user's contacts are where the message says.
            if (files::fileExists(paths::DataFile)) {
                files::setAttributes(paths::DataFile, platform::Normal);
                moveAside(paths::DataFile);
            }
            throw DataError(paths::DataFolder,
                            QStringLiteral("the files here do not keep the attributes Cardomine "
                                           "seals them with, so every check finds them altered "
                                           "again. The repair stopped after %1 rounds; what it "
                                           "set aside is in the folder Recovered.")
                                .arg(MaxRepairPasses));
        }
        if (!files::fileExists(paths::IndexFile)) {
            if (!files::folderExists(paths::DataFolder)) {
                files::createFolder(paths::DataFolder);
                files::createFolder(paths::NotesFolder);
            }
            indexfile::create(countForCreatedIndex());
            showCreatedIndex(&window);
        }

        if (files::attributes(paths::IndexFile) != SealedIndex) {
            files::setAttributes(paths::IndexFile, platform::Archive);
            if (files::fileExists(paths::DataFile))
                files::setAttributes(paths::DataFile, platform::Archive);
            moveAside(paths::IndexFile);
            showCorruptedIndex(&window);
            continue;
        }

        IndexLines = indexfile::read();
        addTypeNames(window, IndexLines.typeNames());

        CurrentRecord = sampleContact();

        if (!files::fileExists(paths::DataFile)) {
            files::writeRecord(paths::DataFile, 1, CurrentRecord.toRandomBytes());
            files::setAttributes(paths::DataFile, SealedData);
            // A rebuild after a repair must not write the sample notes over the notes
            // the user kept for contact 1: they go to Recovered/ with the old files.
            if (files::fileExists(notes::pathFor(1)))
                moveAside(notes::pathFor(1));
            notes::writeSample();
            showDataCreated(&window);
        }

        if (files::attributes(paths::DataFile) == SealedData)
            return;

        files::setAttributes(paths::DataFile, platform::Normal);
        files::setAttributes(paths::IndexFile, platform::Normal);
        moveDataFileAside();
        showDataRebuild(&window);
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

LoadResult loadMainWindow(FrmWork &window)
{
    showAbout(&window);
    platform::centreOnScreen(&window);

    try {
        checkAndRepair(window);
        readFirstRecord();
        window.showCurrentRecord();

        // A count of 0 (an index edited by hand) still leaves record 1 on display.
        const int count = indexfile::recordCount(IndexLines);
        window.ScrollBar->setMaximum(std::max(count, window.ScrollBar->minimum()));
        window.ScrollBar->setValue(window.ScrollBar->minimum());

        const std::optional<int> id = CurrentRecord.contactNumber();
        window.setNotesText(id ? notes::read(*id) : QString());
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
