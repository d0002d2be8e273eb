#include "datastore/datafunctions.h"
#include "datastore/seal.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
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

// Runs work on the data file, starting by setting it to normal. When the
// work fails the file gets its resting attributes back before the failure goes on
// to the caller: a data file left at normal would be taken for an altered one, and
// rebuilt, at the next start. A second failure while resealing adds nothing to the
// first.
//
// The work is announced first (pendingwork.h), so that a crash while the files are
// unsealed does not make the next start rebuild them. The announcement is withdrawn
// once both files read as sealed again, and kept while either does not. A file whose
// attributes cannot be changed at all (another user's) fails the work and the
// resealing alike, but was never unsealed: its announcement goes too, or every later
// start would fail trying to seal it.
enum class Access
{
    Reading,
    Writing
};

template <typename Work>
void withDataFileResealed(const QString &path, const cardomine::pendingwork::Expected &expected,
                          Access access, Work &&work)
{
    if (access == Access::Writing)
        cardomine::pendingwork::begin(expected);
    else
        cardomine::pendingwork::beginReading(expected);
    try {
        work();
    } catch (...) {
        // A record write cut short goes back to the file as it was: the save is
        // reported as not done, and the file must show no half of it.
        if (access == Access::Writing) {
            try {
                cardomine::pendingwork::undoTornWrite(expected);
            } catch (...) {
            }
        }
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
    if (access == Access::Writing)
        cardomine::pendingwork::end();
    else
        cardomine::pendingwork::endReading();
}

std::int64_t sizeOrZero(const QString &path)
{
    return files::fileExists(path) ? files::fileSize(path) : 0;
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

    const QString notesText = b.notesText();
    // Checked before anything is written, so that a refused save changes nothing.
    if (cardomine::notes::tooBigToSave(*contactId))
        throw DataError(cardomine::notes::pathFor(*contactId),
                        QStringLiteral("the notes file is larger than 1 MiB; Cardomine shows only "
                                       "its beginning and does not change it"));
    // The new notes are on disk beside the old ones before the record is written, so
    // that a notes file that cannot be written (a full disk) fails the save while
    // nothing is changed yet; putting them in place afterwards is a rename.
    cardomine::notes::PreparedWrite preparedNotes =
        cardomine::notes::prepareWrite(*contactId, notesText);

    if (random || sequential) {
        // Every state the two files may be in until both are sealed again.
        namespace pendingwork = cardomine::pendingwork;
        pendingwork::Expected expected;
        const std::int64_t sizeBefore = sizeOrZero(path);
        const QByteArray indexBefore = files::readBytes(cardomine::paths::IndexFile);
        expected.indexVersions = {indexBefore};
        if (updatesCount)
            expected.indexVersions.append(
                cardomine::indexfile::countUpdated(indexBefore, fileType.front(), *contactId));
        if (random) {
            const QByteArray record = CurrentRecord.toRandomBytes();
            const std::int64_t end = std::int64_t(recordNumber) * ContactRecord::Length;
            expected.dataSizes = {sizeBefore, std::max(sizeBefore, end)};
            expected.recordNumber = recordNumber;
            expected.records = {sizeBefore > end - ContactRecord::Length
                                    ? files::readRecord(path, recordNumber, ContactRecord::Length)
                                    : QByteArray(ContactRecord::Length, ' '),
                                record};
        } else {
            expected.dataSizes = {
                sizeBefore, sizeBefore + text::joinLines(CurrentRecord.toSequentialLines()).size()};
        }
        withDataFileResealed(path, expected, Access::Writing, [&] {
            files::setAttributes(path, platform::Normal);
            if (random)
                files::writeRecord(path, recordNumber, CurrentRecord.toRandomBytes());
            else
                files::appendBytes(path, text::joinLines(CurrentRecord.toSequentialLines()));
            if (updatesCount)
                cardomine::indexfile::updateCount(fileType.front(), *contactId);
            files::setAttributes(path, DataSealed);
        });
    }

    try {
        preparedNotes.commit();
    } catch (const platform::FileError &error) {
        bool inPlace = false;
        try {
            inPlace = cardomine::notes::read(*contactId) == notesText;
        } catch (...) {
        }
        throw cardomine::NotesNotSaved(cardomine::notes::pathFor(*contactId), error.reason(),
                                       inPlace);
    }
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
        // A read changes neither file: the marker names no sizes and no index versions
        // (the index file stays sealed throughout).
        const cardomine::pendingwork::Expected expected;
        withDataFileResealed(path, expected, Access::Reading, [&] {
            files::setAttributes(path, platform::Normal);
            CurrentRecord.setFromRandomBytes(
                files::readRecord(path, recordNumber, ContactRecord::Length));
            files::setAttributes(path, DataSealed);
        });
    }

    // A record without a number (a position past the end reads as spaces) names no
    // notes file.
    const auto contactId = CurrentRecord.contactNumber();
    b.setNotesText(contactId ? cardomine::notes::read(*contactId) : QString());
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
