// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/datafunctions.h"
#include "datastore/seal.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/saveplan.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

namespace Data_Functions {

using cardomine::ContactRecord;
using cardomine::CurrentRecord;
using cardomine::DataError;
using cardomine::FieldBox;
using cardomine::RecordBoxes;
namespace files = cardomine::platform::files;
namespace text = cardomine::platform::text;
namespace platform = cardomine::platform;

namespace {

RecordBoxes *registeredBoxes = nullptr;

constexpr int DataSealed = cardomine::seal::DataFile;

using cardomine::CollectOrder;
using cardomine::WindowOrder;

RecordBoxes &requireBoxes()
{
    if (!registeredBoxes)
        throw std::logic_error("Data_Functions: no record boxes registered");
    return *registeredBoxes;
}

void checkRecordNumber(const QString &path, int recordNumber)
{
    if (recordNumber < 1 || recordNumber > ContactRecord::MaxNumber)
        throw DataError(path, QStringLiteral("record number %1 is outside 1 to %2")
                                  .arg(recordNumber)
                                  .arg(ContactRecord::MaxNumber));
}

int parseRecordNumber(const QString &path, const QString &recordNumber)
{
    const auto number = ContactRecord::parseNumber(recordNumber);
    if (!number)
        throw DataError(path, QStringLiteral("record number \"%1\" is not a number from 1 to %2")
                                  .arg(recordNumber)
                                  .arg(ContactRecord::MaxNumber));
    return *number;
}

// Reads from the data file, which is set to normal for the read and sealed again
// after. When the read fails the file gets its resting attributes back before the
// failure goes on to the caller: a data file left at normal would be taken for an
// altered one, and rebuilt, at the next start. A second failure while resealing adds
// nothing to the first.
//
// The read is announced first (pendingwork.h), so that a crash while the file is
// unsealed does not make the next start rebuild it. The announcement is withdrawn
// once both files read as sealed again, and kept while either does not. A file whose
// attributes cannot be changed at all (another user's) fails the read and the
// resealing alike, but was never unsealed: its announcement goes too, or every later
// start would fail trying to seal it.
template <typename Work>
void withDataFileResealed(const QString &path, const cardomine::pendingwork::Expected &expected,
                          Work &&work)
{
    cardomine::pendingwork::beginReading(expected);
    try {
        work();
    } catch (...) {
        try {
            files::setAttributes(path, DataSealed);
        } catch (...) {
        }
        try {
            if (files::attributes(path) == DataSealed &&
                files::attributes(cardomine::paths::IndexFile) == cardomine::seal::IndexFile)
                cardomine::pendingwork::end();
        } catch (...) {
        }
        throw;
    }
    cardomine::pendingwork::endReading();
}

} // namespace

void setBoxes(RecordBoxes *boxes)
{
    registeredBoxes = boxes;
}

RecordBoxes *boxes()
{
    return registeredBoxes;
}

void SaveRecord(const QString &path, int recordNumber, const QString &fileType,
                const QString &rewriteFlag)
{
    RecordBoxes &b = requireBoxes();
    checkRecordNumber(path, recordNumber);
    const auto contactId = CurrentRecord.contactNumber();
    if (!contactId)
        throw DataError(path, QStringLiteral("the contact number \"%1\" is not a number from 0 "
                                             "to %2")
                                  .arg(CurrentRecord.ContactID.text().trimmed())
                                  .arg(ContactRecord::MaxNumber));

    const bool random = fileType == u"R";
    const bool sequential = fileType == u"S";
    const bool updatesCount = sequential || (random && rewriteFlag != u"NoRewrite");
    // Without the table the count update would know only one slot and cut the index
    // file down to its first line.
    if (updatesCount && cardomine::IndexLines.highestEntry() < 2)
        throw DataError(cardomine::paths::IndexFile,
                        QStringLiteral("the index file has not been read"));

    // Any other file type stores only the notes.
    const QChar form = random ? QLatin1Char('R') : sequential ? QLatin1Char('S') : QChar();
    cardomine::store::carryOut(cardomine::store::planSave(
        path, CurrentRecord, recordNumber, form, updatesCount, cardomine::IndexLines,
        b.notesCut() ? std::optional<QString>() : b.notesText()));
}

void SaveRecord(const QString &path, const QString &recordNumber, const QString &fileType,
                const QString &rewriteFlag)
{
    SaveRecord(path, parseRecordNumber(path, recordNumber), fileType, rewriteFlag);
}

void LoadRecord(const QString &path, int recordNumber, const QString &fileType)
{
    RecordBoxes &b = requireBoxes();
    checkRecordNumber(path, recordNumber);

    if (fileType == u"R") {
        // Reading needs no write access. A data file sealed for its present content
        // would come out of the unsealing and sealing exactly as it went in, so it is
        // read as it is, with no marker: nothing is unsealed that a crash could leave so.
        // Any other file (changed since, or its attributes unreadable) goes the whole
        // way, which seals it again or meets the failure.
        if (files::attributesHold(path, DataSealed)) {
            CurrentRecord.setFromRandomBytes(
                files::readRecord(path, recordNumber, ContactRecord::Length));
        } else {
            // A read changes neither file: the marker names no sizes and no index
            // versions (the index file stays sealed throughout).
            const cardomine::pendingwork::Expected expected;
            withDataFileResealed(path, expected, [&] {
                files::setAttributes(path, platform::Normal);
                CurrentRecord.setFromRandomBytes(
                    files::readRecord(path, recordNumber, ContactRecord::Length));
                files::setAttributes(path, DataSealed);
            });
        }
    }

    // A record without a number (a position past the end reads as spaces) names no
    // notes file.
    ShowNotes(b, CurrentRecord.contactNumber());
}

void ShowNotes(RecordBoxes &b, std::optional<int> contactId)
{
    const cardomine::notes::Loaded loaded =
        contactId ? cardomine::notes::load(*contactId) : cardomine::notes::Loaded();
    b.setNotesText(loaded.text);
    b.setNotesCut(loaded.cut);
}

void LoadRecord(const QString &path, const QString &recordNumber, const QString &fileType)
{
    LoadRecord(path, parseRecordNumber(path, recordNumber), fileType);
}

void CollectFields(bool showFirst)
{
    RecordBoxes &b = requireBoxes();
    if (showFirst) {
        for (FieldBox box : CollectOrder)
            b.setBoxText(box, CurrentRecord.fieldText(box));
    }
    for (FieldBox box : CollectOrder)
        CurrentRecord.setField(box, b.boxText(box));
}

void SetAllFields(bool locked, const QString &text)
{
    RecordBoxes &b = requireBoxes();
    for (FieldBox box : WindowOrder) {
        b.setBoxLocked(box, locked);
        b.setBoxText(box, text);
    }
}

} // namespace Data_Functions
