// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/pendingwork.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// A save of one or more records, worked out before anything is written: which files
// change, what they hold before and after, and in which order the steps run. The
// pending-work marker is derived from the same value the writes are made from, so the
// start's recovery cannot drift from what the save does.
namespace cardomine::store {

struct SavePlan
{
    enum class Step
    {
        SetAsideEarlierNotes, // notes files left under the new numbers go to Recovered/
        PrepareNotes,         // the new notes files written and flushed beside the old ones
        CommitNotes,          // and put in place
        Announce,             // the marker written; the steps after it run while it lies
        UnsealData,           // the data file set to normal
        WriteRecord,          // recordAfter written in place at recordNumber
        AppendRecords,        // appended written at the data file's end
        WriteIndex,           // the index file replaced by indexAfter, IndexLines following
        SealData,             // the data file sealed again, the marker withdrawn
    };

    struct Notes
    {
        int contactId = 0;
        QString text;
    };

    QList<Step> steps;
    QList<Notes> notes;

    QString dataPath;
    std::int64_t sizeBefore = 0;
    std::int64_t sizeAfter = 0;
    // WriteRecord: the record and its bytes before and after.
    int recordNumber = 0;
    QByteArray recordBefore;
    QByteArray recordAfter;
    // AppendRecords: the bytes added at sizeBefore (sizeAfter - sizeBefore of them).
    QByteArray appended;
    // WriteIndex: the index file's bytes and table before and after.
    QByteArray indexBefore;
    QByteArray indexAfter;
    IndexTable tableBefore;
    IndexTable tableAfter;

    bool has(Step step) const { return steps.contains(step); }
    bool writesData() const { return has(Step::WriteRecord) || has(Step::AppendRecords); }
    // Every state the data file and the index file may be in until both are sealed,
    // and the notes of a single save, which are written while the marker lies.
    pendingwork::Expected expected() const;
};

// The save of record at recordNumber in the given form ('R' in place, 'S' appended;
// any other form writes only the notes), with the count update when updatesCount, and
// the notes (none: the notes file is left as it is) put in place after the record,
// written beside the old ones before it. Records and notes are saved all or nothing:
// a crash before the record is written keeps the old notes, one after it leaves the
// new notes for the next start to put in place. table is the index as read.
SavePlan planSave(const QString &dataPath, const ContactRecord &record, int recordNumber,
                  QChar fileType, bool updatesCount, const IndexTable &table,
                  const std::optional<QString> &notesText);

// The records appended as new contacts from firstNumber on, in order, with the count
// update to the last one; notes first, the index last.
SavePlan planAppend(const QString &dataPath, const QList<ContactRecord> &records,
                    const QList<QString> &notesTexts, int firstNumber, QChar fileType,
                    const IndexTable &table);

// Runs the plan's steps in order. The data and index steps run with the marker
// written; when one of them fails, the files are put back as they were before the
// plan (nothing of a failed append is left, a torn record write is undone) and sealed
// again before the failure goes on. Notes committed after the records (a single save)
// that fail throw NotesNotSaved: the record is stored.
void carryOut(const SavePlan &plan);

} // namespace cardomine::store
