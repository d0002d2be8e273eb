// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mainwindow/frmwork.h"
#include "platform/scriptedmessages.h"
#include "tests/support/tempdrive.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// The user operations the fault and crash sweeps repeat, each over a data folder made
// for it, and the checks that follow: the window after the operation, and a fresh
// start over the files it left.
namespace cardomine::testing {

enum class UserOperation
{
    FirstRun,    // start over an empty drive
    NormalStart, // start over three sealed records
    Navigation,  // scroll from record 1 to record 2
    CreateSave,  // Create New, type a contact, Save New Record (record 4)
    EditSave,    // Edit record 1, change it, Save Edit
    // The same two saves over a card file in the sequential form (the record appended)
    SequentialCreateSave,
    SequentialEditSave,
    CreateDiscard,      // Create New, leave the major boxes blank, Save New Record, answer No
    EditNotesSave,      // Edit record 1, change it and its notes, Save Edit
    EditLargeNotesSave, // the same with notes of nearly the notes limit
};

// The workflow an operation plays (a sequential-form save plays the random form's).
UserOperation workflowOf(UserOperation op);
bool isSequential(UserOperation op);

QList<UserOperation> allUserOperations();
const char *operationName(UserOperation op);

// The records laid out before an operation, and the one it saves (if any).
inline constexpr int RecordsBefore = 3;

// What one run of an operation without faults gives: how many file operations it
// makes, how it ended, and the files a complete operation leaves.
struct CleanRun
{
    bool prepared = false;
    qint64 fileOperations = 0;
    bool completed = false;
    int errorBoxes = 0;
    QString windowProblem;
    QByteArray indexAfter;
    // The record the operation wrote, when it writes one (the appended lines in the
    // sequential form).
    QByteArray savedRecord;
    QList<qint64> writeOperations; // which of its file operations are writes
    QByteArray savedNotes;         // the notes file an edit of the notes writes
};

// One run of one operation in a fresh temporary drive.
class OperationRun
{
public:
    explicit OperationRun(UserOperation op);
    ~OperationRun();
    OperationRun(const OperationRun &) = delete;
    OperationRun &operator=(const OperationRun &) = delete;

    // Lays out the files and brings the window to the moment just before the
    // operation's file work (e.g. the boxes typed, the save question answered). False
    // when that failed; why is in problem().
    bool prepare();
    // Runs the operation (the first file operation it makes is number 1 after
    // faults::reset()).
    void act();

    // After act(): whether the operation went through (a start that ended Ready, a
    // workflow back to browsing on the new record). False when it was refused.
    bool completed() const;
    // The critical error boxes act() showed ("File Problem!", "Cardomine Cannot
    // Start"); the repair's own notices are not counted.
    int errorBoxes() const;
    // Empty when the window is in a state consistent with completed(); else why not.
    QString windowProblem() const;

    // A fresh start over the files left behind, with no faults. Returns an empty text
    // when it loads and every record saved before the operation reads back byte for
    // byte (from the data file, or from Recovered/ when the repair moved it there),
    // and the index is its old or new version; else the first problem found.
    // repaired tells whether the start-up repair ran.
    QString checkFreshStart(bool *repaired);
    // Lets checkFreshStart accept the files the clean run's complete operation left.
    void acceptOutcomeOf(const CleanRun &clean);

    UserOperation op;
    TempDrive drive;
    platform::ScriptedMessageService messages;
    std::unique_ptr<FrmWork> window;

    // The files before the operation, and what a complete operation leaves.
    QByteArray dataBefore;
    QByteArray indexBefore;
    QByteArray indexAfter;
    QByteArray savedRecord; // as CleanRun::savedRecord
    int savedNumber = 0;
    QByteArray savedNotes; // the notes file the operation writes, when it changes the notes

    static QByteArray recordBytes(int id);
    static QByteArray indexBytes(int count);
    static QByteArray editedRecordBytes();
    static QByteArray createdRecordBytes();

private:
    QString m_problem;
    int m_startResult = -1;
    int m_boxesBeforeAct = 0;
};

// Prepares a run of op in a fresh drive and acts without faults, counting its file
// operations.
CleanRun cleanRun(UserOperation op);

} // namespace cardomine::testing
