// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/repairplan.h"

#include "datastore/contactrecord.h"
#include "datastore/datafile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/seal.h"
#include "platform/fileattributes.h"
#include "platform/files.h"

#include <algorithm>

namespace cardomine::repairplan {

namespace files = platform::files;
using pendingwork::Finding;

namespace {

// The start's program, one phase per decision or action. A round runs from
// IndexMissing to DataSealed; the rounds that set a file aside start over.
enum Phase : int
{
    CheckProgramFiles,
    CheckLeftovers,
    CheckTornWrite,
    CheckMarkedNotes,
    CheckMarkedIndex,
    CheckMarkedData,
    CheckNotesLeftovers,
    CheckMarker,
    IndexMissing,
    IndexCreateFolders,
    IndexCreate,
    IndexCreatedNotice,
    IndexSealed,
    IndexArchive,
    IndexArchiveData,
    IndexMoveAside,
    IndexCorruptedNotice,
    IndexDoNotAlterNotice,
    IndexRead,
    DataMissing,
    DataCreate,
    DataMoveNotesAside,
    DataWriteNotes,
    DataCreatedNotice,
    DataSealed,
    DataUnseal,
    DataMoveAside,
    DataRebuildNotice,
    Done,
    GaveUp
};

Step step(StepKind kind, int count = 0)
{
    return Step{kind, count, Notice()};
}

Step show(const Notice &notice)
{
    return Step{StepKind::ShowNotice, 0, notice};
}

// The count of an index created beside an existing data file: the whole records a
// sealed data file holds (at least 1), so that every one stays reachable and Create
// New never hands out a number already used; 1 otherwise.
int createdIndexCount(const FolderState &s)
{
    if (!s.data || s.dataAttributes != seal::DataFile)
        return 1;
    return std::clamp(datafile::wholeRecordsBySize(s.dataSize), 1, ContactRecord::MaxNumber);
}

} // namespace

Notice indexCreatedNotice()
{
    return {QStringLiteral("File Creation Notice!"), QStringLiteral("INDEX.TBL has been created!"),
            NoticeIcon::Information};
}

Notice indexCorruptedNotice()
{
    return {QStringLiteral("File Corruption Notice!"),
            QStringLiteral("The INDEX.TBL file was corrupted and will now be deleted and then "
                           "recreated by Cardomine!"),
            NoticeIcon::Critical};
}

Notice doNotAlterIndexNotice()
{
    return {QStringLiteral("Be Careful!"),
            QStringLiteral("It is in your best interest while using this program not to alter the "
                           "INDEX.TBL file.\rDoing so will result in LOST INFORMATION!!"),
            NoticeIcon::Information};
}

Notice dataFileCreatedNotice()
{
    return {QStringLiteral("File Update Completed!"), QStringLiteral("Data File Has Been Updated!"),
            NoticeIcon::Information};
}

Notice dataFileRebuildNotice()
{
    return {QStringLiteral("File Update Will Occur Now. . ."),
            QStringLiteral("The Data file will now be updated to correspond with the information "
                           "in the INDEX file. . ."),
            NoticeIcon::Information};
}

QString giveUpReason()
{
    return QStringLiteral("the files here do not keep the attributes Cardomine seals them with, so "
                          "every check finds them altered again. The repair stopped after %1 "
                          "rounds; what it set aside is in the folder Recovered.")
        .arg(MaxRounds);
}

Step nextStep(const FolderState &s, Cursor &c)
{
    const bool marked = s.markerFinding == Finding::Named;
    for (;;) {
        switch (Phase(c.phase)) {
        case CheckProgramFiles:
            c.phase = CheckLeftovers;
            if (!s.programFilesFolder)
                return step(StepKind::CreateProgramFilesFolder);
            break;
        case CheckLeftovers:
            c.phase = CheckTornWrite;
            if (s.markerLeftovers > 0)
                return step(StepKind::RemoveMarkerLeftovers, s.markerLeftovers);
            break;
        case CheckTornWrite:
            c.phase = CheckMarkedNotes;
            if (s.markerFinding == Finding::TornWrite)
                return step(StepKind::UndoTornWrite);
            break;
        case CheckMarkedNotes:
            // Before the marker goes: it names the notes to put in place.
            c.phase = CheckMarkedIndex;
            if (marked && s.notesToFinish)
                return step(StepKind::FinishNotes);
            break;
        case CheckMarkedIndex:
            c.phase = CheckMarkedData;
            // A file that reads as sealed is left alone: the work may have stopped
            // after sealing it, and a file the program may read but not change
            // (another user's) would otherwise stop every start here.
            if (marked && s.markerNamesIndex && s.indexAttributes != seal::IndexFile)
                return step(StepKind::SealIndexAsMarked);
            break;
        case CheckMarkedData:
            c.phase = CheckNotesLeftovers;
            if (marked && s.dataAttributes != seal::DataFile)
                return step(StepKind::SealDataAsMarked);
            break;
        case CheckNotesLeftovers:
            // Whatever a save cut short left of new notes is kept, never removed; while
            // the marker names the save, so that a start cut short does it again.
            c.phase = CheckMarker;
            if (s.notesLeftovers > 0)
                return step(StepKind::MoveNotesLeftoversAside, s.notesLeftovers);
            break;
        case CheckMarker:
            c.phase = IndexMissing;
            if (s.marker)
                return step(StepKind::RemoveMarker);
            break;

        case IndexMissing:
            if (c.round > MaxRounds) {
                c.phase = GaveUp;
                return step(StepKind::GiveUp, MaxRounds);
            }
            c.phase = s.index ? IndexSealed : IndexCreateFolders;
            break;
        case IndexCreateFolders:
            c.phase = IndexCreate;
            if (!s.dataFolder)
                return step(StepKind::CreateDataFolders);
            break;
        case IndexCreate:
            c.phase = IndexCreatedNotice;
            return step(StepKind::CreateIndex, createdIndexCount(s));
        case IndexCreatedNotice:
            c.phase = IndexSealed;
            return show(indexCreatedNotice());

        case IndexSealed:
            c.phase = s.indexAttributes == seal::IndexFile ? IndexRead : IndexArchive;
            break;
        case IndexArchive:
            c.phase = IndexArchiveData;
            return step(StepKind::ArchiveIndex);
        case IndexArchiveData:
            // The data file then fails its own check and is rebuilt as well.
            c.phase = IndexMoveAside;
            if (s.data)
                return step(StepKind::ArchiveData);
            break;
        case IndexMoveAside:
            c.phase = IndexCorruptedNotice;
            return step(StepKind::MoveIndexAside);
        case IndexCorruptedNotice:
            c.phase = IndexDoNotAlterNotice;
            return show(indexCorruptedNotice());
        case IndexDoNotAlterNotice:
            c.phase = IndexMissing;
            ++c.round;
            return show(doNotAlterIndexNotice());

        case IndexRead:
            c.phase = DataMissing;
            return step(StepKind::ReadIndex);

        case DataMissing:
            c.phase = s.data ? DataSealed : DataCreate;
            break;
        case DataCreate:
            c.phase = DataMoveNotesAside;
            return step(StepKind::CreateDataFile);
        case DataMoveNotesAside:
            // The sample notes must not overwrite the notes the user kept for
            // contact 1: they go to Recovered/ with the old files.
            c.phase = DataWriteNotes;
            if (s.notesOfContact1)
                return step(StepKind::MoveNotesOfContact1Aside);
            break;
        case DataWriteNotes:
            c.phase = DataCreatedNotice;
            return step(StepKind::WriteSampleNotes);
        case DataCreatedNotice:
            c.phase = DataSealed;
            return show(dataFileCreatedNotice());

        case DataSealed:
            if (s.dataAttributes == seal::DataFile) {
                c.phase = Done;
                return step(StepKind::Finished);
            }
            c.phase = DataUnseal;
            break;
        case DataUnseal:
            c.phase = DataMoveAside;
            return step(StepKind::UnsealFiles);
        case DataMoveAside:
            // The rebuilt card file starts from record 1 again: the old records'
            // notes go with them, so new contacts do not take them over.
            c.phase = DataRebuildNotice;
            return step(StepKind::MoveDataFileAside, datafile::recordsReachedBySize(s.dataSize));
        case DataRebuildNotice:
            c.phase = IndexMissing;
            ++c.round;
            return show(dataFileRebuildNotice());

        case Done:
            return step(StepKind::Finished);
        case GaveUp:
            return step(StepKind::GiveUp, MaxRounds);
        }
    }
}

FolderState after(const FolderState &state, const Step &step)
{
    FolderState s = state;
    switch (step.kind) {
    case StepKind::CreateProgramFilesFolder:
        s.programFilesFolder = true;
        break;
    case StepKind::RemoveMarkerLeftovers:
        s.markerLeftovers = 0;
        break;
    case StepKind::UndoTornWrite:
        // The data file is written at normal, which reads as changed until sealed.
        s.markerFinding = Finding::Named;
        s.dataSize = s.dataSizeAfterUndo;
        s.dataAttributes = platform::Archive;
        break;
    case StepKind::FinishNotes:
        s.notesToFinish = false;
        s.notesLeftovers = std::max(0, s.notesLeftovers - 1);
        break;
    case StepKind::MoveNotesLeftoversAside:
        s.notesLeftovers = 0;
        break;
    case StepKind::SealIndexAsMarked:
        s.indexAttributes = seal::IndexFile;
        break;
    case StepKind::SealDataAsMarked:
        s.dataAttributes = seal::DataFile;
        break;
    case StepKind::RemoveMarker:
        s.marker = false;
        s.markerFinding = Finding::None;
        s.markerNamesIndex = false;
        s.notesToFinish = false;
        break;
    case StepKind::CreateDataFolders:
        s.dataFolder = true;
        break;
    case StepKind::CreateIndex:
        s.index = true;
        s.indexAttributes = seal::IndexFile;
        break;
    case StepKind::ArchiveIndex:
        s.indexAttributes = platform::Archive;
        break;
    case StepKind::ArchiveData:
        s.dataAttributes = platform::Archive;
        break;
    case StepKind::MoveIndexAside:
        s.index = false;
        s.indexAttributes = 0;
        break;
    case StepKind::CreateDataFile:
        s.data = true;
        s.dataAttributes = seal::DataFile;
        s.dataSize = ContactRecord::Length;
        break;
    case StepKind::MoveNotesOfContact1Aside:
        s.notesOfContact1 = false;
        break;
    case StepKind::WriteSampleNotes:
        s.notesOfContact1 = true;
        break;
    case StepKind::UnsealFiles:
        s.dataAttributes = platform::Normal;
        s.indexAttributes = platform::Normal;
        break;
    case StepKind::MoveDataFileAside:
        s.data = false;
        s.dataAttributes = 0;
        s.dataSize = 0;
        if (step.count >= 1)
            s.notesOfContact1 = false;
        break;
    case StepKind::ShowNotice:
    case StepKind::ReadIndex:
    case StepKind::Finished:
    case StepKind::GiveUp:
        break;
    }
    return s;
}

RepairPlan plan(const FolderState &state)
{
    RepairPlan result;
    FolderState s = state;
    Cursor cursor;
    for (;;) {
        const Step next = nextStep(s, cursor);
        result.steps.append(next);
        if (next.kind == StepKind::Finished || next.kind == StepKind::GiveUp)
            return result;
        s = after(s, next);
    }
}

QList<Notice> RepairPlan::notices() const
{
    QList<Notice> out;
    for (const Step &s : steps) {
        if (s.kind == StepKind::ShowNotice)
            out.append(s.notice);
    }
    return out;
}

QList<Step> RepairPlan::visibleSteps() const
{
    QList<Step> out;
    for (const Step &s : steps) {
        if (isVisible(s))
            out.append(s);
    }
    return out;
}

bool isVisible(const Step &step)
{
    return step.kind != StepKind::ReadIndex && step.kind != StepKind::Finished;
}

QString describe(const Step &step)
{
    switch (step.kind) {
    case StepKind::CreateProgramFilesFolder:
        return QStringLiteral("create the folder Program Files");
    case StepKind::RemoveMarkerLeftovers:
        return QStringLiteral("remove %1 temporary file(s) left by an interrupted write of "
                              "Cardomine.pending")
            .arg(step.count);
    case StepKind::UndoTornWrite:
        return QStringLiteral("put back the record write that was cut short in Cardomine.Dat "
                              "(the file as it was before that save)");
    case StepKind::FinishNotes:
        return QStringLiteral("put the notes of the interrupted save in place (its record was "
                              "saved; the new notes wait in a temporary file in Contact Notes)");
    case StepKind::MoveNotesLeftoversAside:
        return QStringLiteral("move %1 temporary notes file(s) left by an interrupted save from "
                              "Contact Notes to Recovered/ (they may hold typed notes)")
            .arg(step.count);
    case StepKind::SealIndexAsMarked:
        return QStringLiteral("seal Index.tbl again (5), as the interrupted work left it");
    case StepKind::SealDataAsMarked:
        return QStringLiteral("seal Cardomine.Dat again (7), as the interrupted work left it");
    case StepKind::RemoveMarker:
        return QStringLiteral("remove the pending-work marker Cardomine.pending");
    case StepKind::CreateDataFolders:
        return QStringLiteral("create the folders Pelvarin and Contact Notes");
    case StepKind::CreateIndex:
        return QStringLiteral("create Index.tbl with a record count of %1").arg(step.count);
    case StepKind::ShowNotice:
        return QStringLiteral("message \"%1\": \"%2\"")
            .arg(step.notice.title,
                 QString(step.notice.text).replace(u'\r', QStringLiteral(" / ")));
    case StepKind::ArchiveIndex:
        return QStringLiteral("set Index.tbl to archive (32)");
    case StepKind::ArchiveData:
        return QStringLiteral("set Cardomine.Dat to archive (32), so that it is rebuilt too");
    case StepKind::MoveIndexAside:
        return QStringLiteral("move Index.tbl to Recovered/");
    case StepKind::ReadIndex:
        return QStringLiteral("read Index.tbl");
    case StepKind::CreateDataFile:
        return QStringLiteral("create Cardomine.Dat with the sample contact only");
    case StepKind::MoveNotesOfContact1Aside:
        return QStringLiteral("move Contact Notes/1.txt to Recovered/");
    case StepKind::WriteSampleNotes:
        return QStringLiteral("write the sample notes into Contact Notes/1.txt");
    case StepKind::UnsealFiles:
        return QStringLiteral("set Cardomine.Dat and Index.tbl to normal (0)");
    case StepKind::MoveDataFileAside:
        return QStringLiteral("move Cardomine.Dat to Recovered/, with the notes files of its %1 "
                              "record(s) (its records are lost to the program)")
            .arg(step.count);
    case StepKind::Finished:
        return QStringLiteral("both files sealed");
    case StepKind::GiveUp:
        return QStringLiteral("move Cardomine.Dat to Recovered/ and stop with \"Cardomine Cannot "
                              "Start\": ") +
               giveUpReason();
    }
    return QString();
}

FolderState observeFolder()
{
    FolderState s;
    s.programFilesFolder = files::folderExists(paths::ProgramFilesFolder);
    s.dataFolder = s.programFilesFolder && files::folderExists(paths::DataFolder);
    if (!s.dataFolder)
        return s;
    s.markerLeftovers = pendingwork::countLeftovers();
    s.index = files::fileExists(paths::IndexFile);
    if (s.index)
        s.indexAttributes = files::attributes(paths::IndexFile);
    s.data = files::fileExists(paths::DataFile);
    if (s.data) {
        s.dataAttributes = files::attributes(paths::DataFile);
        s.dataSize = files::fileSize(paths::DataFile);
    }
    s.notesOfContact1 = files::fileExists(notes::pathFor(1));
    s.marker = files::fileExists(pendingwork::markerPath());
    if (s.marker) {
        const pendingwork::Examination found = pendingwork::examine();
        s.markerFinding = found.finding;
        s.markerNamesIndex = found.namesIndex;
        s.dataSizeAfterUndo = found.sizeAfterUndo;
        s.notesToFinish = found.notesToFinish;
        // Only a save cut short leaves temporary notes files: the notes folder, which
        // may list thousands, is read only then.
        if (found.namesNotes)
            s.notesLeftovers = notes::countLeftovers();
    }
    return s;
}

} // namespace cardomine::repairplan
