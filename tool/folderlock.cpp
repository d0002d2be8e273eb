// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/folderlock.h"

#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/repairsteps.h"
#include "datastore/seal.h"
#include "platform/drive.h"
#include "platform/files.h"

namespace cardomine::tool {

std::unique_ptr<platform::InstanceLock> lockDataFolder()
{
    auto lock = std::make_unique<platform::InstanceLock>(paths::DataFolder);
    if (lock->tryLock())
        return lock;
    if (lock->status() == platform::InstanceLock::Status::HeldElsewhere)
        throw FolderBusy(lock->folder(),
                         QStringLiteral("the card file is in use (Cardomine or another "
                                        "cardomine-tool command is working on it); close it "
                                        "and try again. Nothing was changed."));
    throw DataError(lock->folder(), lock->errorString() + QStringLiteral(". Nothing was changed."));
}

void requireSealedCardFile(const QString &command)
{
    namespace files = platform::files;
    const auto refuse = [&command](const QString &path, const QString &problem) {
        throw DataError(platform::nativePath(path),
                        problem + QStringLiteral("; start Cardomine once (it puts the files "
                                                 "right) or run \"cardomine-tool check\", then "
                                                 "%1 again. Nothing was changed.")
                                      .arg(command));
    };
    const bool index =
        files::folderExists(paths::DataFolder) && files::fileExists(paths::IndexFile);
    const bool data = files::folderExists(paths::DataFolder) && files::fileExists(paths::DataFile);
    if (!index && !data)
        refuse(paths::DataFolder, QStringLiteral("there is no card file here yet"));
    if (!index || !data)
        refuse(index ? paths::DataFile : paths::IndexFile,
               QStringLiteral("the card file here is incomplete: this file is missing"));
    if (files::fileExists(pendingwork::markerPath()))
        refuse(pendingwork::markerPath(), QStringLiteral("a save was cut short here"));
    if (files::attributes(paths::IndexFile) != seal::IndexFile)
        refuse(paths::IndexFile, QStringLiteral("the index file's seal is broken, so the next "
                                                "start would rebuild the card file"));
    if (files::attributes(paths::DataFile) != seal::DataFile)
        refuse(paths::DataFile, QStringLiteral("the data file's seal is broken, so the next "
                                               "start would rebuild the card file"));
}

void finishCutShortSave()
{
    namespace files = platform::files;
    using repairplan::StepKind;
    if (!files::fileExists(pendingwork::markerPath()))
        return;
    repairplan::FolderState state = repairplan::observeFolder();
    if (state.markerFinding != pendingwork::Finding::Named &&
        state.markerFinding != pendingwork::Finding::TornWrite)
        return;
    // Only the start's steps about the marker; they end with its removal.
    repairplan::Cursor cursor;
    for (;;) {
        const repairplan::Step step = repairplan::nextStep(state, cursor);
        switch (step.kind) {
        case StepKind::RemoveMarkerLeftovers:
        case StepKind::UndoTornWrite:
        case StepKind::FinishNotes:
        case StepKind::SealIndexAsMarked:
        case StepKind::SealDataAsMarked:
        case StepKind::MoveNotesLeftoversAside:
            repairplan::performFileStep(step);
            state = repairplan::observeFolder();
            break;
        case StepKind::RemoveMarker:
            repairplan::performFileStep(step);
            return;
        default:
            return;
        }
    }
}

} // namespace cardomine::tool
