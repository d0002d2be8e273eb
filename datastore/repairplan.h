// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/pendingwork.h"

#include <QList>
#include <QString>

#include <cstdint>

// The start's check-and-repair of the data and index files, written once.
//
// observeFolder() reads what the data folder holds (through platform/, changing
// nothing). nextStep() is a pure function from that state and a cursor to the next
// step of the start: sealing again what a marker of interrupted work names, creating
// the files on first run, setting aside and rebuilding files whose seal is broken,
// with the notices the user sees. plan() runs nextStep on a model of the files
// (after(): the files keep the attributes they are given) to foretell a whole start;
// `cardomine-tool check` prints that. The start performs the steps one at a time and
// observes the folder again after each, so it follows the files as they really are;
// where they behave as the model says, it does exactly what plan() foretold.
namespace cardomine::repairplan {

// The data folder as a start finds it.
struct FolderState
{
    bool programFilesFolder = false; // "c:\Program Files"
    bool dataFolder = false;
    bool index = false;
    int indexAttributes = 0;
    bool data = false;
    int dataAttributes = 0;
    std::int64_t dataSize = 0;
    bool notesOfContact1 = false; // "Contact Notes\1.txt" exists
    int markerLeftovers = 0;      // temporary files of a marker write cut short
    bool marker = false;          // a pending-work marker lies beside the files
    pendingwork::Finding markerFinding = pendingwork::Finding::None;
    bool markerNamesIndex = false;      // the interrupted work rewrote the index
    std::int64_t dataSizeAfterUndo = 0; // with a torn write: the length it is put back to
    bool notesToFinish = false;         // a save that went through left its new notes waiting
    int notesLeftovers = 0; // temporary notes files (counted when the marker names notes)

    bool operator==(const FolderState &) const = default;
};

enum class NoticeIcon
{
    Information,
    Critical
};

// A message box of the start: OK only.
struct Notice
{
    QString title;
    QString text; // lines joined by a lone carriage return
    NoticeIcon icon = NoticeIcon::Information;

    bool operator==(const Notice &) const = default;
};

// The start's notices, named by what they say.
Notice indexCreatedNotice();    // "INDEX.TBL has been created!"
Notice indexCorruptedNotice();  // "The INDEX.TBL file was corrupted and will now be deleted ..."
Notice doNotAlterIndexNotice(); // "It is in your best interest ... LOST INFORMATION!!"
Notice dataFileCreatedNotice(); // "Data File Has Been Updated!"
Notice dataFileRebuildNotice(); // "The Data file will now be updated to correspond ..."

enum class StepKind
{
    CreateProgramFilesFolder,
    RemoveMarkerLeftovers,
    UndoTornWrite,           // put back a record write the marker names and that was cut short
    FinishNotes,             // put in place the notes of a save whose records were written
    SealIndexAsMarked,       // the index to 5, as the interrupted work would have left it
    SealDataAsMarked,        // the data file to 7, likewise
    MoveNotesLeftoversAside, // `count` temporary notes files into Recovered/
    RemoveMarker,
    CreateDataFolders, // the data folder and its notes folder
    CreateIndex,       // with `count` as its record count, sealed (5)
    ShowNotice,        // `notice`
    ArchiveIndex,      // set to archive (32) before it is set aside
    ArchiveData,       // likewise, so that it fails its own check later
    MoveIndexAside,    // into Recovered/
    ReadIndex,         // into IndexLines, CurrentRecord set to the sample contact; no change
    CreateDataFile,    // the sample contact as record 1, sealed (7)
    MoveNotesOfContact1Aside,
    WriteSampleNotes,  // "Contact Notes\1.txt"
    UnsealFiles,       // both files to normal (0)
    MoveDataFileAside, // into Recovered/, with the notes of its first `count` records
    Finished,          // both files carry their seals
    GiveUp             // after `count` rounds the files still read as altered
};

struct Step
{
    StepKind kind = StepKind::Finished;
    int count = 0;
    Notice notice;

    bool operator==(const Step &) const = default;
};

// A readable line for the step ("move Index.tbl to Recovered/"), as check prints it.
QString describe(const Step &step);
// Whether the step changes a file or shows a box (ReadIndex and Finished do neither).
bool isVisible(const Step &step);

// Rebuilding both files from any state takes four rounds; files that still read as
// altered after five do not keep their seal on this file system.
inline constexpr int MaxRounds = 5;

// Where a start is in its check-and-repair. A fresh cursor is the start's beginning.
struct Cursor
{
    int phase = 0;
    int round = 1;

    bool operator==(const Cursor &) const = default;
};

// Reads the folder's state. Throws platform::FileError when it cannot be read.
FolderState observeFolder();

// Pure: the next step for files in `state`, the cursor moved past it. Once it has
// returned Finished or GiveUp it returns that again.
Step nextStep(const FolderState &state, Cursor &cursor);

// Pure: the files' state after the step, when they behave as the program expects.
FolderState after(const FolderState &state, const Step &step);

struct RepairPlan
{
    QList<Step> steps; // in order; the last is Finished or GiveUp
    QList<Notice> notices() const;
    QList<Step> visibleSteps() const;
};

// Pure: every step of a start that finds the files in `state`.
RepairPlan plan(const FolderState &state);

// The message of a start that gives up (GiveUp).
QString giveUpReason();

} // namespace cardomine::repairplan
