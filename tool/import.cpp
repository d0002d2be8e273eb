// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/import.h"

#include "datastore/appendcontacts.h"
#include "datastore/cardfilereader.h"
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
    const cardfile::CardFile card = cardfile::read();
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
    QList<Candidate> candidates;
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
        ReadResult read = vcard ? readVCards(bytes) : readCsv(bytes);
        if (!read.ok()) {
            outcome.errors.append(u"%1 line %2: %3; nothing from this file is added"_s.arg(
                file, QString::number(read.errorLine), read.error));
            continue;
        }
        out += u"%1: %2 contacts (%3)\n"_s.arg(file)
                   .arg(read.contacts.size())
                   .arg(vcard ? u"vCard"_s : u"CSV"_s)
                   .toUtf8();
        candidates.reserve(candidates.size() + read.contacts.size());
        for (ImportedContact &contact : read.contacts)
            candidates.append({std::move(contact), file});
    }

    if (fresh && !request.dryRun) {
        repairplan::createAsFirstRun();
        out += "Created the card file as Cardomine's first run does, with its sample contact "
               "as contact 1.\n";
    }
    CardFileState state = fresh && request.dryRun ? firstRunState() : readCardFileState();
    int highest = state.count;
    for (auto it = state.byNumber.cbegin(); it != state.byNumber.cend(); ++it)
        highest = std::max(highest, it.key());
    const UidLookup uids(readCardFileId(), highest);
    // Holders: a stored contact by its number, a candidate by -1 - its index.
    Duplicates duplicates;
    for (auto it = state.byNumber.cbegin(); it != state.byNumber.cend(); ++it)
        duplicates.add(ContactValues(it->record, it->notes), it.key());
    const auto holderName = [&candidates](int holder) {
        return holder > 0 ? u"contact %1"_s.arg(holder)
                          : where(candidates.at(qsizetype(-1 - holder)));
    };

    const int room = std::max(0, ContactRecord::MaxNumber - state.count);
    QList<qsizetype> accepted;
    QHash<qsizetype, qsizetype> acceptedAt; // candidate index to its place in accepted
    QStringList skipped, refused;
    struct Merge
    {
        qsizetype candidate;
        int holder;
        qsizetype values;
    };
    QList<Merge> merges;
    QSet<int> storedMerged; // stored contacts whose notes a merge changed
    for (qsizetype index = 0; index < candidates.size(); ++index) {
        Candidate &candidate = candidates[index];
        ImportedContact &c = candidate.contact;
        // A UID from elsewhere is kept with the contact, so that the same card comes in
        // only once; our own exports' UIDs name contacts of a card file instead.
        if (!c.uid.isEmpty() && !isCardFileUid(c.uid) && !uids.contactNumber(c.uid))
            c.notes = withValuesAdded(c.notes, {{u"UID"_s, c.uid.trimmed()}});
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
                skipped.append(u"skipped  %1 (%2): %3"_s.arg(c.name, where(candidate), reason));
                continue;
            }
            const QString merged = withValuesAdded(holderNotes, added);
            if (!fitsNotesLimit(merged)) {
                refused.append(
                    u"refused  %1 (%2): merged into %3 its notes would pass the "
                    u"notes limit of %4 bytes"_s.arg(c.name, where(candidate), holderName(*holder))
                        .arg(notes::ReadLimit));
                continue;
            }
            holderNotes = merged;
            if (*holder > 0)
                storedMerged.insert(*holder);
            duplicates.add(ContactValues(holderRecord, merged), *holder);
            merges.append({index, *holder, added.size()});
            continue;
        }
        if (!fitsNotesLimit(c.notes)) {
            refused.append(u"refused  %1 (%2): its notes would pass the notes limit of %3 "
                           u"bytes"_s.arg(c.name, where(candidate))
                               .arg(notes::ReadLimit));
            continue;
        }
        if (accepted.size() >= room) {
            refused.append(u"refused  %1 (%2): the card file holds at most %3 contacts"_s.arg(
                c.name, where(candidate), QString::number(ContactRecord::MaxNumber)));
            continue;
        }
        duplicates.add(values, int(-1 - index));
        acceptedAt.insert(index, accepted.size());
        accepted.append(index);
    }

    QList<int> numbers;
    if (!request.dryRun && !accepted.isEmpty()) {
        QList<store::NewContact> batch;
        batch.reserve(accepted.size());
        for (const qsizetype index : std::as_const(accepted))
            batch.append({candidates.at(index).contact.record, candidates.at(index).contact.notes});
        numbers = store::appendContacts(batch);
    } else {
        for (qsizetype i = 0; i < accepted.size(); ++i)
            numbers.append(state.count + int(i) + 1);
    }
    // Merges into contacts stored before change their notes only.
    if (!request.dryRun)
        for (const int number : std::as_const(storedMerged))
            notes::write(number, state.byNumber[number].notes);

    const QString verb = request.dryRun ? u"would add"_s : u"added"_s;
    QStringList replaced;
    for (qsizetype i = 0; i < accepted.size(); ++i) {
        const Candidate &candidate = candidates.at(accepted.at(i));
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
        const Candidate &candidate = candidates.at(m.candidate);
        const int number =
            m.holder > 0 ? m.holder : numbers.value(acceptedAt.value(qsizetype(-1 - m.holder)));
        out += u"merged   %1 (%2): merged into contact %3: %4 values\n"_s
                   .arg(candidate.contact.name, where(candidate), QString::number(number))
                   .arg(m.values)
                   .toUtf8();
    }
    for (const QString &line : std::as_const(skipped))
        out += (line + u'\n').toUtf8();
    for (const QString &line : std::as_const(refused))
        out += (line + u'\n').toUtf8();
    if (!replaced.isEmpty())
        out += (u"Characters replaced by \"?\" in: "_s + replaced.join(u", "_s) + u'\n').toUtf8();
    out += u"%1 %2, %3 skipped as already there, %4 merged, %5 refused.%6\n"_s
               .arg(request.dryRun ? u"Would add"_s : u"Added"_s)
               .arg(accepted.size())
               .arg(skipped.size())
               .arg(merges.size())
               .arg(refused.size())
               .arg(request.dryRun ? u" Nothing was changed (--dry-run)."_s : QString())
               .toUtf8();
    return outcome;
}

} // namespace cardomine::tool
