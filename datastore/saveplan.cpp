// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/saveplan.h"

#include "datastore/dataerror.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/seal.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <vector>

namespace cardomine::store {

namespace files = platform::files;
namespace text = platform::text;
using Step = SavePlan::Step;

namespace {

std::int64_t sizeOrZero(const QString &path)
{
    return files::fileExists(path) ? files::fileSize(path) : 0;
}

QByteArray sequentialBytes(const ContactRecord &record)
{
    return text::joinLines(record.toSequentialLines());
}

// The index before and after the count update to contactId.
void planIndex(SavePlan &plan, const IndexTable &table, QChar fileType, int contactId)
{
    plan.indexBefore = files::readBytes(paths::IndexFile);
    plan.tableBefore = table;
    const indexfile::CountUpdate update =
        indexfile::countUpdate(table, plan.indexBefore, fileType, contactId);
    plan.indexAfter = update.bytes;
    plan.tableAfter = update.table;
}

} // namespace

pendingwork::Expected SavePlan::expected() const
{
    pendingwork::Expected e;
    e.indexVersions = {indexBefore};
    if (has(Step::WriteIndex))
        e.indexVersions.append(indexAfter);
    e.dataSizes = {sizeBefore, sizeAfter};
    if (has(Step::WriteRecord)) {
        e.recordNumber = recordNumber;
        e.records = {recordBefore, recordAfter};
    }
    if (notes.size() == 1 && steps.indexOf(Step::PrepareNotes) > steps.indexOf(Step::Announce))
        e.notes =
            pendingwork::Expected::Notes{notes::fileName(notes.first().contactId),
                                         notes::digestOf(notes::bytesFor(notes.first().text))};
    return e;
}

SavePlan planSave(const QString &dataPath, const ContactRecord &record, int recordNumber,
                  QChar fileType, bool updatesCount, const IndexTable &table,
                  const std::optional<QString> &notesText)
{
    SavePlan plan;
    const int contactId = record.contactNumber().value_or(0);
    if (notesText)
        plan.notes = {{contactId, *notesText}};
    plan.dataPath = dataPath;
    const bool random = fileType == QLatin1Char('R');
    const bool recordForm = random || fileType == QLatin1Char('S');
    // The new notes are on disk beside the old ones before the record is written, so
    // that a notes file that cannot be written (a full disk) fails the save while
    // nothing is changed yet; putting them in place afterwards is a rename. They are
    // written after the marker, which names them, so that a crash at any point leaves
    // the start a save to finish or to forget, never half of one.
    if (recordForm)
        plan.steps << Step::Announce;
    if (notesText)
        plan.steps << Step::PrepareNotes;
    if (recordForm) {
        plan.steps << Step::UnsealData;
        plan.sizeBefore = sizeOrZero(dataPath);
        if (updatesCount)
            planIndex(plan, table, fileType, contactId);
        else
            plan.indexBefore = files::readBytes(paths::IndexFile);
        if (random) {
            constexpr int Length = ContactRecord::Length;
            const std::int64_t end = std::int64_t(recordNumber) * Length;
            plan.steps << Step::WriteRecord;
            plan.recordNumber = recordNumber;
            plan.recordBefore = plan.sizeBefore > end - Length
                                    ? files::readRecord(dataPath, recordNumber, Length)
                                    : QByteArray(Length, ' ');
            plan.recordAfter = record.toRandomBytes();
            plan.sizeAfter = std::max(plan.sizeBefore, end);
        } else {
            plan.steps << Step::AppendRecords;
            plan.appended = sequentialBytes(record);
            plan.sizeAfter = plan.sizeBefore + plan.appended.size();
        }
        if (updatesCount)
            plan.steps << Step::WriteIndex;
        plan.steps << Step::SealData;
    }
    if (notesText)
        plan.steps << Step::CommitNotes;
    return plan;
}

SavePlan planAppend(const QString &dataPath, const QList<ContactRecord> &records,
                    const QList<QString> &notesTexts, int firstNumber, QChar fileType,
                    const IndexTable &table)
{
    SavePlan plan;
    plan.dataPath = dataPath;
    plan.sizeBefore = sizeOrZero(dataPath);
    const bool random = fileType == QLatin1Char('R');
    if (random) {
        // Record n lies at (n - 1) * 249 whatever the file's length: a gap before the
        // first one reads as the zeros a positioned write past the end leaves.
        const std::int64_t start = std::int64_t(firstNumber - 1) * ContactRecord::Length;
        plan.appended =
            QByteArray(qsizetype(std::max<std::int64_t>(start - plan.sizeBefore, 0)), '\0');
    }
    for (qsizetype i = 0; i < records.size(); ++i) {
        ContactRecord record = records.at(i);
        record.ContactID = QString::number(firstNumber + int(i));
        plan.appended += random ? record.toRandomBytes() : sequentialBytes(record);
        plan.notes.append(
            {firstNumber + int(i), i < notesTexts.size() ? notesTexts.at(i) : QString()});
    }
    plan.sizeAfter = plan.sizeBefore + plan.appended.size();
    planIndex(plan, table, fileType, firstNumber + int(records.size()) - 1);
    // The notes belong to numbers no record holds yet, so they can go in place first;
    // the count, written last, is what makes the new records part of the card file.
    plan.steps = {
        Step::SetAsideEarlierNotes, Step::PrepareNotes,  Step::CommitNotes, Step::Announce,
        Step::UnsealData,           Step::AppendRecords, Step::WriteIndex,  Step::SealData};
    return plan;
}

namespace {

// Puts the files back as they were before the plan, after a failure part-way: a torn
// record write goes back to the old record, and an append (whose retry would add the
// records again) leaves nothing behind, the index taken back first so that a crash in
// between still finds a pair the marker names. Best effort: a second failure here
// leaves the rest to the next start.
void undo(const SavePlan &plan, const pendingwork::Expected &expected)
{
    if (plan.has(Step::AppendRecords) && plan.has(Step::WriteIndex) &&
        plan.indexAfter != plan.indexBefore) {
        try {
            if (files::readBytes(paths::IndexFile) == plan.indexAfter) {
                try {
                    files::setAttributes(paths::IndexFile, platform::Normal);
                    files::replaceBytes(paths::IndexFile, plan.indexBefore);
                    IndexLines = plan.tableBefore;
                } catch (...) {
                }
                files::setAttributes(paths::IndexFile, seal::IndexFile);
            }
        } catch (...) {
        }
    }
    // An append whose count stayed as it was (a sequential edit of the last contact)
    // is taken back here too: the failure is reported, so nothing of it may stay.
    try {
        if (plan.has(Step::AppendRecords) &&
            files::readBytes(paths::IndexFile) == plan.indexBefore &&
            files::fileSize(plan.dataPath) > plan.sizeBefore) {
            files::setAttributes(plan.dataPath, platform::Normal);
            files::truncateFile(plan.dataPath, plan.sizeBefore);
        }
    } catch (...) {
    }
    try {
        pendingwork::undoTornWrite(expected);
    } catch (...) {
    }
}

// The notes of a plan, written beside the old files and then put in place.
class NotesWork
{
public:
    explicit NotesWork(const SavePlan &plan)
        : m_plan(plan)
    {}

    // The notes files already there: for a batch from one listing of the notes folder
    // rather than a look-up per contact; a single save looks its one file up.
    QList<int> present() const
    {
        QList<int> ids;
        const bool batch = m_plan.notes.size() > 1;
        for (const SavePlan::Notes &n : m_plan.notes) {
            if (batch || notes::hasNotesFile(n.contactId))
                ids.append(n.contactId);
        }
        return batch ? notes::withNotesFiles(ids) : ids;
    }

    void prepare()
    {
        // Checked before anything is written, so that a refused save changes nothing.
        for (const int contactId : present()) {
            if (notes::tooBigToSave(contactId))
                throw DataError(notes::pathFor(contactId),
                                QStringLiteral("the notes file is larger than %1 bytes; "
                                               "Cardomine shows only its beginning and "
                                               "does not change it")
                                    .arg(notes::FileLimit));
        }
        if (m_plan.notes.size() > 1) {
            // A batch: every file written first, then all made durable in one flush.
            QList<std::pair<int, QString>> texts;
            for (const SavePlan::Notes &n : m_plan.notes)
                texts.append({n.contactId, n.text});
            m_batch = notes::prepareWrites(texts);
            return;
        }
        for (const SavePlan::Notes &n : m_plan.notes)
            m_prepared.push_back(notes::prepareWrite(n.contactId, n.text));
    }

    // recordsStored: the records are written, so a failure stores them without their
    // notes, which NotesNotSaved says.
    void commit(bool recordsStored)
    {
        if (m_plan.notes.size() > 1) {
            // Only ever before the records (planAppend): a failure changes no record.
            m_batch.commit();
            return;
        }
        for (std::size_t i = 0; i < m_prepared.size(); ++i) {
            const SavePlan::Notes &n = m_plan.notes.at(qsizetype(i));
            try {
                m_prepared[i].commit();
            } catch (const platform::FileError &error) {
                if (!recordsStored)
                    throw;
                bool inPlace = false;
                try {
                    inPlace = notes::read(n.contactId) == n.text;
                } catch (...) {
                }
                throw NotesNotSaved(notes::pathFor(n.contactId), error.reason(), inPlace);
            }
        }
    }

private:
    const SavePlan &m_plan;
    std::vector<notes::PreparedWrite> m_prepared;
    notes::PreparedWrites m_batch;
};

// The steps after Announce, run while the marker lies: the notes of a single save
// written, the data file unsealed, written and sealed again, the index replaced, and
// the notes put in place last. The marker goes after all of them.
void carryOutAnnounced(const SavePlan &plan, NotesWork &notesWork)
{
    const pendingwork::Expected expected = plan.expected();
    try {
        pendingwork::begin(expected);
    } catch (...) {
        // The marker may be in place (its folder not flushed), but nothing is unsealed.
        pendingwork::end();
        throw;
    }
    bool commitNotes = false;
    bool unsealed = false;
    try {
        for (qsizetype i = plan.steps.indexOf(Step::Announce) + 1; i < plan.steps.size(); ++i) {
            switch (plan.steps.at(i)) {
            case Step::PrepareNotes:
                notesWork.prepare();
                break;
            case Step::UnsealData:
                unsealed = true;
                files::setAttributes(plan.dataPath, platform::Normal);
                break;
            case Step::WriteRecord:
                files::writeRecord(plan.dataPath, plan.recordNumber, plan.recordAfter);
                break;
            case Step::AppendRecords:
                files::appendBytes(plan.dataPath, plan.appended);
                break;
            case Step::WriteIndex:
                indexfile::writeCountUpdate({plan.indexAfter, plan.tableAfter});
                break;
            case Step::SealData:
                files::setAttributes(plan.dataPath, seal::DataFile);
                break;
            case Step::CommitNotes:
                commitNotes = true;
                break;
            default:
                break;
            }
        }
    } catch (...) {
        // Nothing unsealed yet (the new notes could not be written): nothing to undo.
        if (!unsealed) {
            pendingwork::end();
            throw;
        }
        // A data file left at normal would be taken for an altered one, and rebuilt,
        // at the next start. The marker goes once both files read as sealed again; it
        // is kept while either does not. A file whose attributes cannot be changed at
        // all (another user's) fails the work and the resealing alike, but was never
        // unsealed: its marker goes too, or every later start would fail sealing it.
        undo(plan, expected);
        try {
            files::setAttributes(plan.dataPath, seal::DataFile);
        } catch (...) {
        }
        try {
            if (files::attributes(plan.dataPath) == seal::DataFile &&
                files::attributes(paths::IndexFile) == seal::IndexFile)
                pendingwork::end();
        } catch (...) {
        }
        throw;
    }
    if (commitNotes) {
        // The records are sealed: a failure here leaves the notes either in place or
        // as they were (the new file is gone), which the error says; the marker has
        // nothing left to finish.
        try {
            notesWork.commit(true);
        } catch (...) {
            pendingwork::end();
            throw;
        }
    }
    pendingwork::end();
}

// The notes files of new contacts whose records could not be stored (a full disk, a
// file-size limit): the undone records take their notes with them, so no notes file is
// left under a number no record holds. They are files this save made (any earlier
// notes under those numbers went to Recovered/ first), so removing them destroys
// nothing the user had.
void withdrawNewNotes(const SavePlan &plan) noexcept
{
    for (const SavePlan::Notes &n : plan.notes) {
        try {
            if (!n.text.isEmpty() && files::fileExists(notes::pathFor(n.contactId)))
                files::deleteFile(notes::pathFor(n.contactId));
        } catch (...) {
        }
    }
}

} // namespace

void carryOut(const SavePlan &plan)
{
    NotesWork notesWork(plan);
    bool notesBeforeRecords = false;
    for (const Step step : plan.steps) {
        switch (step) {
        case Step::SetAsideEarlierNotes:
            for (const int contactId : notesWork.present())
                notes::setAsideEarlierNotes(contactId);
            break;
        case Step::PrepareNotes:
            notesWork.prepare();
            break;
        case Step::CommitNotes:
            // Only a batch commits its notes before the records (planAppend).
            notesWork.commit(false);
            notesBeforeRecords = true;
            break;
        case Step::Announce:
            // Every step after it runs under the marker.
            try {
                carryOutAnnounced(plan, notesWork);
            } catch (...) {
                if (notesBeforeRecords)
                    withdrawNewNotes(plan);
                throw;
            }
            return;
        default:
            break;
        }
    }
}

} // namespace cardomine::store
