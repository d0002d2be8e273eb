// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/repairsteps.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/recovered.h"
#include "datastore/seal.h"
#include "platform/fileattributes.h"
#include "platform/files.h"

namespace cardomine::repairplan {

namespace files = platform::files;

bool performFileStep(const Step &step)
{
    switch (step.kind) {
    case StepKind::CreateProgramFilesFolder:
        files::createFolder(paths::ProgramFilesFolder);
        return true;
    case StepKind::RemoveMarkerLeftovers:
        pendingwork::removeLeftovers();
        return true;
    case StepKind::UndoTornWrite:
        if (const std::optional<pendingwork::Expected> marker = pendingwork::readMarker())
            pendingwork::undoTornWrite(*marker);
        return true;
    case StepKind::FinishNotes:
        pendingwork::finishNotes();
        return true;
    case StepKind::MoveNotesLeftoversAside:
        notes::setAsideLeftovers();
        return true;
    case StepKind::SealIndexAsMarked:
        files::setAttributes(paths::IndexFile, seal::IndexFile);
        return true;
    case StepKind::SealDataAsMarked:
        files::setAttributes(paths::DataFile, seal::DataFile);
        return true;
    case StepKind::RemoveMarker:
        files::deleteFile(pendingwork::markerPath());
        return true;
    case StepKind::CreateDataFolders:
        files::createFolder(paths::DataFolder);
        files::createFolder(paths::NotesFolder);
        return true;
    case StepKind::CreateIndex:
        indexfile::create(step.count);
        return true;
    case StepKind::ArchiveIndex:
        files::setAttributes(paths::IndexFile, platform::Archive);
        return true;
    case StepKind::ArchiveData:
        files::setAttributes(paths::DataFile, platform::Archive);
        return true;
    case StepKind::MoveIndexAside:
        recovered::setAside(paths::IndexFile);
        return true;
    case StepKind::CreateDataFile:
        files::writeRecord(paths::DataFile, 1, sampleContact().toRandomBytes());
        files::setAttributes(paths::DataFile, seal::DataFile);
        return true;
    case StepKind::MoveNotesOfContact1Aside:
        recovered::setAside(notes::pathFor(1));
        return true;
    case StepKind::WriteSampleNotes:
        notes::writeSample();
        return true;
    case StepKind::UnsealFiles:
        files::setAttributes(paths::DataFile, platform::Normal);
        files::setAttributes(paths::IndexFile, platform::Normal);
        return true;
    case StepKind::MoveDataFileAside:
        recovered::setAside(paths::DataFile);
        recovered::setAsideNotes(step.count);
        return true;
    case StepKind::GiveUp:
        // The data file is set aside as the repair meant to (its index is gone), so
        // that the user's contacts are where the message says.
        if (files::fileExists(paths::DataFile)) {
            files::setAttributes(paths::DataFile, platform::Normal);
            recovered::setAside(paths::DataFile);
        }
        throw DataError(paths::DataFolder, giveUpReason());
    case StepKind::ShowNotice:
    case StepKind::ReadIndex:
    case StepKind::Finished:
        break;
    }
    return false;
}

bool isFresh(const FolderState &state)
{
    if (!state.dataFolder)
        return true;
    if (state.index || state.data || state.marker || state.markerLeftovers > 0 ||
        state.notesOfContact1)
        return false;
    return !files::folderExists(paths::NotesFolder) ||
           files::listFiles(paths::NotesFolder).isEmpty();
}

QList<Notice> createAsFirstRun()
{
    QList<Notice> shown;
    Cursor cursor;
    for (;;) {
        const Step step = nextStep(observeFolder(), cursor);
        if (step.kind == StepKind::Finished)
            return shown;
        if (step.kind == StepKind::ShowNotice)
            shown.append(step.notice);
        else
            performFileStep(step);
    }
}

} // namespace cardomine::repairplan
