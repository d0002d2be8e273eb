// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/import.h"

#include "datastore/appendcontacts.h"
#include "datastore/cardfilereader.h"
#include "datastore/contactphotos.h"
#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/repairplan.h"
#include "datastore/repairsteps.h"
#include "interchange/cardfileid.h"
#include "interchange/duplicates.h"
#include "interchange/importedvalues.h"
#include "interchange/importreader.h"
#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/textcodec.h"
#include "tool/folderlock.h"

#include <QHash>
#include <QSet>

#include <algorithm>

#include <optional>

namespace cardomine::tool {

using namespace interchange;

namespace {

using namespace Qt::StringLiterals;
namespace files = platform::files;

struct Candidate
{
    ImportedContact contact;
    QString file; // as the user named it
};

QString where(const Candidate &c)
{
    return u"%1 line %2"_s.arg(c.file).arg(c.contact.line);
}

struct Stored
{
    ContactRecord record;
    QString notes;
};

struct CardFileState
{
    int count = 0;
    QHash<int, Stored> byNumber;
};

// The records already stored with their notes, by contact number: in the random form a
// record's position is its number; in the sequential form the first record under a number
// holds it.
CardFileState readCardFileState()
{
    const cardfile::CardFile card = cardfile::read({.notesFileFacts = false});
    CardFileState state;
    state.count = card.recordCount;
    for (const cardfile::Contact &contact : card.contacts) {
        if (card.fileType != u'S')
            state.byNumber.insert(contact.position, {contact.record, contact.notes});
        else if (const std::optional<int> number = contact.record.contactNumber();
                 number && !state.byNumber.contains(*number))
            state.byNumber.insert(*number, {contact.record, contact.notes});
    }
    return state;
}

// What a first run would leave: the sample contact as record 1.
CardFileState firstRunState()
{
    return {1, {{1, {sampleContact(), {}}}}};
}

// The photo files of a contact's binary values; with `only`, those of the values among
// it (what a merge brings).
QList<photos::NewFile> photoFiles(const QList<KeptBinary> &binaries,
                                  const std::optional<QList<ImportedValue>> &only = std::nullopt)
{
    QList<photos::NewFile> files;
    for (const KeptBinary &binary : binaries) {
        const bool wanted =
            !only || std::any_of(only->cbegin(), only->cend(), [&binary](const ImportedValue &v) {
                const std::optional<photos::Entry> entry = photos::parseEntry(v.value);
                return entry && entry->valueName == binary.name;
            });
        if (wanted)
            files.append({0, binary.name, binary.bytes});
    }
    return files;
}

QString describedCut(const ImportedContact &c)
{
    return u"cut to fit their boxes (kept whole in the notes): "_s + c.cut.join(u", "_s);
}

} // namespace

ImportOutcome importFiles(const ImportRequest &request)
{
    const auto lock = lockDataFolder();
    // A data folder without any of the card file's files is a first run: the card file
    // is made as the program makes it, then the contacts are added to it.
    const bool fresh = repairplan::isFresh(repairplan::observeFolder());
    if (!fresh)
        requireSealedCardFile(QStringLiteral("import"));

    ImportOutcome outcome;
    QByteArray &out = outcome.report;
    QByteArray created;
    if (fresh && !request.dryRun) {
        repairplan::createAsFirstRun();
        created = "Created the card file as Cardomine's first run does, with its sample contact "
                  "as contact 1.\n";
    }
    CardFileState state = fresh && request.dryRun ? firstRunState() : readCardFileState();
    int highest = state.count;
    for (auto it = state.byNumber.cbegin(); it != state.byNumber.cend(); ++it)
        highest = std::max(highest, it.key());
    const UidLookup uids(readCardFileId(), highest);
    QList<QList<photos::NewFile>> newPhotos; // of each accepted contact
    // Holders: a stored contact by its number, a candidate by -1 - its index.
    Duplicates duplicates;
    for (auto it = state.byNumber.cbegin(); it != state.byNumber.cend(); ++it)
        duplicates.add(ContactValues(it->record, it->notes), it.key());
    // The files are read one contact at a time, each decided on as it comes, and only
    // the contacts to add are kept: a file of a million tiny cards must not be held
    // whole. Holders: a stored contact by its number, an accepted contact by -1 - its
    // place in candidates.
    QList<Candidate> candidates;
    const auto holderName = [&candidates](int holder) {
        return holder > 0 ? u"contact %1"_s.arg(holder)
                          : where(candidates.at(qsizetype(-1 - holder)));
    };

    const int room = std::max(0, ContactRecord::MaxNumber - state.count);
    QByteArray skipped, refused; // report lines
    qsizetype skippedCount = 0, refusedCount = 0;
    struct Merge
    {
        QString who; // the card's name and where it came from
        int holder;
        qsizetype values;
    };
    QList<Merge> merges;
    QSet<int> storedMerged;                          // stored contacts whose notes a merge changed
    QHash<int, QList<photos::NewFile>> mergedPhotos; // photo files such merges bring
    const auto decide = [&](Candidate &&incoming) {
        Candidate &candidate = incoming;
        ImportedContact &c = candidate.contact;
        // A UID from elsewhere is kept with the contact, so that the same card comes in
        // only once; our own exports' UIDs name contacts of a card file instead.
        if (!uids.contactNumber(c.uid))
            c.notes = notesWithUid(c.notes, c.uid);
        const ContactValues values(c.record, c.notes);
        std::optional<int> holder;
        QString reason;
        if (const std::optional<int> number = uids.contactNumber(c.uid)) {
            const auto stored = state.byNumber.constFind(*number);
            // Our own UID names the contact for certain; the bare number that older
            // exports wrote is taken only when the names agree.
            const bool ours = c.uid.trimmed().startsWith(u"urn:uuid:"_s, Qt::CaseInsensitive);
            // A record with every box empty is named by its UID only when the card is as
            // empty: such a contact came back from our own export.
            const bool emptyAsStored =
                stored != state.byNumber.cend() && (!isBlank(stored->record) || isBlank(c.record));
            if (emptyAsStored && (ours || nameKey(stored->record) == nameKey(c.record))) {
                holder = *number;
                reason = u"already in the card file as contact %1 (its UID)"_s.arg(*number);
            }
        }
        if (!holder)
            if (const std::optional<Duplicates::Found> found = duplicates.find(values)) {
                holder = found->holder;
                reason = found->what + u' ' + holderName(found->holder);
            }
        if (holder) {
            // The same person: skipped when it brings nothing new, else what is new
            // goes into the notes of the contact that holds it.
            QString &holderNotes = *holder > 0 ? state.byNumber[*holder].notes
                                               : candidates[qsizetype(-1 - *holder)].contact.notes;
            const ContactRecord &holderRecord =
                *holder > 0 ? state.byNumber[*holder].record
                            : candidates.at(qsizetype(-1 - *holder)).contact.record;
            const QList<ImportedValue> added =
                newValues(values, ContactValues(holderRecord, holderNotes));
            if (added.isEmpty()) {
                ++skippedCount;
                skipped +=
                    (u"skipped  %1 (%2): %3\n"_s.arg(c.name, where(candidate), reason)).toUtf8();
                return;
            }
            const QString merged = withValuesAdded(holderNotes, added);
            if (!fitsNotesLimit(merged)) {
                ++refusedCount;
                refused += (u"refused  %1 (%2): merged into %3 its notes would pass the "
                            u"notes limit of %4 bytes\n"_s
                                .arg(c.name, where(candidate), holderName(*holder))
                                .arg(notes::ReadLimit))
                               .toUtf8();
                return;
            }
            holderNotes = merged;
            // The photos among the values merged go with them.
            QList<photos::NewFile> &holderPhotos =
                *holder > 0 ? mergedPhotos[*holder] : newPhotos[qsizetype(-1 - *holder)];
            holderPhotos.append(photoFiles(c.binaries, added));
            if (*holder > 0)
                storedMerged.insert(*holder);
            duplicates.add(ContactValues(holderRecord, merged), *holder);
            merges.append({u"%1 (%2)"_s.arg(c.name, where(candidate)), *holder, added.size()});
            return;
        }
        if (!fitsNotesLimit(c.notes)) {
            ++refusedCount;
            refused += (u"refused  %1 (%2): its notes would pass the notes limit of %3 "
                        u"bytes\n"_s.arg(c.name, where(candidate))
                            .arg(notes::ReadLimit))
                           .toUtf8();
            return;
        }
        if (candidates.size() >= room) {
            ++refusedCount;
            refused += (u"refused  %1 (%2): the card file holds at most %3 contacts\n"_s.arg(
                            c.name, where(candidate), QString::number(ContactRecord::MaxNumber)))
                           .toUtf8();
            return;
        }
        duplicates.add(values, int(-1 - candidates.size()));
        newPhotos.append(photoFiles(c.binaries));
        c.binaries.clear();
        candidates.append(std::move(candidate));
    };

    QByteArray fileLines;
    for (const QString &file : request.files) {
        QByteArray bytes;
        try {
            bytes = files::readNativeFile(file);
        } catch (const platform::FileError &error) {
            outcome.errors.append(error.message() + u"; nothing from it is added"_s);
            continue;
        }
        const bool vcard = request.format == ImportFormat::VCard ||
                           (request.format == ImportFormat::FromContent && looksLikeVCard(bytes));
        const auto read = [&bytes, vcard](const ContactSink &take) {
            return vcard ? readVCards(bytes, take) : readCsv(bytes, take);
        };
        // Checked whole first: a file that does not parse adds nothing.
        if (const ReadResult checked = read({}); !checked.ok()) {
            outcome.errors.append(u"%1 line %2: %3; nothing from this file is added"_s.arg(
                file, QString::number(checked.errorLine), checked.error));
            continue;
        }
        qsizetype count = 0;
        read([&](ImportedContact &&contact) {
            ++count;
            decide({std::move(contact), file});
        });
        fileLines += u"%1: %2 contacts (%3)\n"_s.arg(file)
                         .arg(count)
                         .arg(vcard ? u"vCard"_s : u"CSV"_s)
                         .toUtf8();
    }
    out += fileLines + created;

    QList<int> numbers;
    if (!request.dryRun && !candidates.isEmpty()) {
        QList<store::NewContact> batch;
        batch.reserve(candidates.size());
        for (qsizetype i = 0; i < candidates.size(); ++i)
            batch.append(
                {candidates.at(i).contact.record, candidates.at(i).contact.notes, newPhotos.at(i)});
        numbers = store::appendContacts(batch);
    } else {
        for (qsizetype i = 0; i < candidates.size(); ++i)
            numbers.append(state.count + int(i) + 1);
    }
    // Merges into contacts stored before change their notes only, after the photo files
    // the notes now name.
    if (!request.dryRun)
        for (const int number : std::as_const(storedMerged)) {
            QList<photos::NewFile> &photoFiles = mergedPhotos[number];
            for (photos::NewFile &photo : photoFiles)
                photo.contactId = number;
            photos::write(photoFiles);
            notes::write(number, state.byNumber[number].notes);
        }

    const QString verb = request.dryRun ? u"would add"_s : u"added"_s;
    QStringList replaced;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const Candidate &candidate = candidates.at(i);
        const ImportedContact &c = candidate.contact;
        out += u"%1 contact %2: %3 (%4)\n"_s
                   .arg(verb, QString::number(numbers.value(i)), c.name, where(candidate))
                   .toUtf8();
        if (!c.cut.isEmpty())
            out += (u"    "_s + describedCut(c) + u'\n').toUtf8();
        if (c.replacedCharacters) {
            out += "    characters Windows-1252 lacks were replaced by \"?\"\n";
            replaced.append(c.name);
        }
    }
    for (const Merge &m : std::as_const(merges)) {
        const int number = m.holder > 0 ? m.holder : numbers.value(qsizetype(-1 - m.holder));
        out += u"merged   %1: merged into contact %2: %3 values\n"_s
                   .arg(m.who, QString::number(number))
                   .arg(m.values)
                   .toUtf8();
    }
    out += skipped;
    out += refused;
    if (!replaced.isEmpty())
        out += (u"Characters replaced by \"?\" in: "_s + replaced.join(u", "_s) + u'\n').toUtf8();
    out += u"%1 %2, %3 skipped as already there, %4 merged, %5 refused.%6\n"_s
               .arg(request.dryRun ? u"Would add"_s : u"Added"_s)
               .arg(candidates.size())
               .arg(skippedCount)
               .arg(merges.size())
               .arg(refusedCount)
               .arg(request.dryRun ? u" Nothing was changed (--dry-run)."_s : QString())
               .toUtf8();
    return outcome;
}

} // namespace cardomine::tool
