#include "tool/sync.h"

#include "datastore/appendcontacts.h"
#include "datastore/dataerror.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/nativefolder.h"
#include "tool/cardfileid.h"
#include "tool/contacts.h"
#include "tool/exportformats.h"
#include "tool/folderlock.h"
#include "tool/importreader.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QUrl>

#include <optional>

namespace cardomine::tool {

namespace files = platform::files;

namespace {

const QByteArray StateHeader = QByteArrayLiteral("cardomine-sync 1");
const QString VcardExtension = QStringLiteral(".vcf");

// 64 bits of SHA-1 in hex: stable across Qt versions and machines, unlike qHash.
QByteArray digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).left(8).toHex();
}

QByteArray cardDigest(const Contact &contact)
{
    return digest(contact.record.toRandomBytes() + '\0' + contact.notes.toUtf8());
}

// What the last pass left for one contact: the card file's content and the vCard file
// that matched it.
struct ContactState
{
    QByteArray card;  // digest of record and notes
    QString fileName; // the vCard file in the folder
    QByteArray file;  // digest of its bytes
    std::int64_t size = -1;
    std::int64_t mtimeNs = -1;
    std::uint64_t inode = 0;
};

// A foreign vCard appended as a record whose file is not yet replaced by ours: kept in
// the state before the append, so a pass cut short after it never appends it twice.
struct PendingImport
{
    QByteArray file;
    int number = 0;
};

struct State
{
    QByteArray cardFileId;
    QByteArray writer; // digest of the vCard writer's output for a fixed contact
    QMap<int, ContactState> contacts;
    QHash<QString, PendingImport> pending; // by file name
};

QByteArray encodeName(const QString &name, const QString &canonical)
{
    return name == canonical ? QByteArrayLiteral("-") : QUrl::toPercentEncoding(name);
}

std::optional<State> parseState(const QByteArray &bytes, const QUuid &cardFile)
{
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 3 || lines.at(0) != StateHeader)
        return std::nullopt;
    State state;
    const QList<QByteArray> card = lines.at(1).split(' ');
    const QList<QByteArray> writer = lines.at(2).split(' ');
    if (card.size() != 2 || card.at(0) != "card" || writer.size() != 2 || writer.at(0) != "writer")
        return std::nullopt;
    state.cardFileId = card.at(1);
    state.writer = writer.at(1);
    if (QUuid::fromString(QString::fromLatin1(state.cardFileId)) != cardFile)
        return std::nullopt;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.isEmpty())
            continue;
        const QList<QByteArray> f = line.split(' ');
        bool ok = true;
        const auto number = [&ok](const QByteArray &text) {
            bool good = false;
            const qlonglong value = text.toLongLong(&good);
            ok = ok && good;
            return value;
        };
        if (f.at(0) == "c" && f.size() == 8) {
            const int n = int(number(f.at(1)));
            ContactState c;
            c.card = f.at(2);
            c.file = f.at(3);
            c.size = number(f.at(4));
            c.mtimeNs = number(f.at(5));
            c.inode = std::uint64_t(f.at(6).toULongLong(&ok));
            c.fileName = f.at(7) == "-"
                             ? vcardFileName(contactUid(cardFile, n))
                             : QString::fromUtf8(QByteArray::fromPercentEncoding(f.at(7)));
            if (!ok || n < 1 || n > ContactRecord::MaxNumber || c.fileName.isEmpty())
                return std::nullopt;
            state.contacts.insert(n, c);
        } else if (f.at(0) == "p" && f.size() == 4) {
            const int n = int(number(f.at(2)));
            const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(f.at(3)));
            if (!ok || n < 1 || n > ContactRecord::MaxNumber || name.isEmpty())
                return std::nullopt;
            state.pending.insert(name, {f.at(1), n});
        } else {
            return std::nullopt;
        }
    }
    return state;
}

QByteArray stateBytes(const State &state, const QUuid &cardFile)
{
    QByteArray out = StateHeader + "\ncard " + state.cardFileId + "\nwriter " + state.writer + '\n';
    for (auto it = state.contacts.cbegin(); it != state.contacts.cend(); ++it) {
        const ContactState &c = *it;
        out += "c " + QByteArray::number(it.key()) + ' ' + c.card + ' ' + c.file + ' ' +
               QByteArray::number(c.size) + ' ' + QByteArray::number(c.mtimeNs) + ' ' +
               QByteArray::number(c.inode) + ' ' +
               encodeName(c.fileName, vcardFileName(contactUid(cardFile, it.key()))) + '\n';
    }
    QStringList pendingNames = state.pending.keys();
    pendingNames.sort();
    for (const QString &name : std::as_const(pendingNames)) {
        const PendingImport &p = state.pending.value(name);
        out += "p " + p.file + ' ' + QByteArray::number(p.number) + ' ' +
               QUrl::toPercentEncoding(name) + '\n';
    }
    return out;
}

// Our vCard for one contact: the export's writer, with the contact's UID of this card
// file.
QByteArray vcardFor(const Contact &contact, const QString &uid)
{
    const QByteArray card = toVCard({contact});
    const QByteArray uidLine = foldLine(QStringLiteral("UID:") + uid);
    QByteArray out;
    bool hasUid = false;
    const QList<QByteArray> lines = card.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.isEmpty())
            continue;
        const bool continuation = line.startsWith(' ') || line.startsWith('\t');
        if (!continuation && (line.startsWith("UID:") || line.startsWith("UID;"))) {
            // Drop the writer's UID line with its continuations.
            while (i + 1 < lines.size() &&
                   (lines.at(i + 1).startsWith(' ') || lines.at(i + 1).startsWith('\t')))
                ++i;
            if (!hasUid)
                out += uidLine;
            hasUid = true;
            continue;
        }
        if (!continuation && line.startsWith("END:VCARD") && !hasUid) {
            out += uidLine;
            hasUid = true;
        }
        out += line + '\n';
    }
    return out;
}

// A fixed contact whose vCard changes only when the writer does: a pass after an
// upgrade that writes vCards differently compares every file, not only changed ones.
QByteArray writerDigest()
{
    Contact sample;
    sample.position = 1;
    sample.record = sampleContact();
    sample.notes = QStringLiteral("Notes, with; a line\r\nand a second one");
    return digest(vcardFor(sample, QStringLiteral("urn:uuid:0")));
}

// A vCard file's text for a contact's notes: its lines unfolded, so no value is split.
QString unfoldedText(const QByteArray &bytes)
{
    QStringList lines;
    for (QString line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if ((line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'))) &&
            !lines.isEmpty())
            lines.last() += line.mid(1);
        else if (!line.isEmpty())
            lines.append(line);
    }
    return lines.join(QLatin1String("\r\n"));
}

QString conflictNotes(const QString &notes, const QByteArray &theirs)
{
    QString out = notes;
    if (!out.isEmpty())
        out += QLatin1String("\r\n");
    out += QStringLiteral("--- Sync conflict %1: this contact was changed in the card file and "
                          "in the address book; the card file's version was kept. The address "
                          "book's version, not applied: ---\r\n")
               .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm")) +
                    QStringLiteral(" UTC"));
    out += unfoldedText(theirs);
    return out;
}

QString joinedPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString describe(const Contact &contact)
{
    QStringList parts;
    for (const QString &field :
         {trimmed(contact.record.FirstName.text()), trimmed(contact.record.LastName.text())})
        if (!field.isEmpty())
            parts.append(field);
    if (parts.isEmpty())
        parts.append(trimmed(contact.record.Company.text()));
    return QStringLiteral("contact %1 (%2)").arg(contact.position).arg(parts.join(u' '));
}

// A vCard file read in this pass.
struct ReadCard
{
    files::NativeEntry entry;
    QByteArray bytes;
    QByteArray digest;
    ImportedContact card;
};

} // namespace

QString vcardFileName(const QString &uid)
{
    QString name;
    name.reserve(uid.size() + 4);
    for (const QChar c : uid) {
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                          (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u'.';
        name += safe ? c : QLatin1Char('-');
    }
    return name + VcardExtension;
}

SyncReport syncVdir(const QString &nativeFolder)
{
    const auto lock = lockDataFolder();
    try {
        files::checkNativeFolderWritable(nativeFolder);
    } catch (const platform::FileError &error) {
        throw DataError(nativeFolder, QStringLiteral("the folder cannot be written (%1). Nothing "
                                                     "was changed.")
                                          .arg(error.reason()));
    }

    SyncReport report;
    const QUuid cardFile = cardFileId();
    CardFile card = readCardFile();
    QMap<int, Contact> contacts; // by number
    for (const Contact &contact : std::as_const(card.contacts))
        contacts.insert(contact.position, contact);
    int count = card.recordCount;
    const auto canonicalName = [&cardFile](int n) {
        return vcardFileName(contactUid(cardFile, n));
    };

    // The last pass's state; anything unreadable is a first pass, which recognises our
    // contacts by the UIDs in the files and so duplicates nothing.
    const QString statePath = joinedPath(nativeFolder, QLatin1String(SyncStateFileName));
    QByteArray oldStateBytes;
    State state;
    bool firstPass = true;
    const QList<files::NativeEntry> entries = files::listNativeFolder(nativeFolder);
    for (const files::NativeEntry &entry : entries)
        if (entry.name == QLatin1String(SyncStateFileName)) {
            oldStateBytes = files::readNativeFile(statePath);
            if (std::optional<State> parsed = parseState(oldStateBytes, cardFile)) {
                state = *parsed;
                firstPass = false;
            } else {
                report.lines.append(
                    QStringLiteral("The state file %1 could not be read; this pass compares "
                                   "every vCard with the card file.")
                        .arg(statePath));
            }
        }
    const QByteArray writer = writerDigest();
    const bool sameWriter = !firstPass && state.writer == writer;

    // The vCard files: those the last pass left untouched are known without reading.
    QHash<QString, int> unchangedFiles; // file name -> contact number
    for (auto it = state.contacts.cbegin(); it != state.contacts.cend(); ++it)
        unchangedFiles.insert(it->fileName, it.key());
    const UidLookup lookup(cardFile, count);
    QMap<int, QList<ReadCard>> ours;      // changed or unknown files by contact number
    QMap<int, files::NativeEntry> steady; // unchanged files by contact number
    QList<ReadCard> foreign;              // vCards new to the card file
    QMap<int, ReadCard> alreadyImported;  // foreign files appended by a pass cut short
    QSet<QString> present;
    for (const files::NativeEntry &entry : entries) {
        if (!entry.name.endsWith(VcardExtension, Qt::CaseInsensitive) ||
            entry.name.startsWith(QLatin1Char('.')))
            continue;
        present.insert(entry.name);
        if (const auto known = unchangedFiles.constFind(entry.name);
            known != unchangedFiles.cend()) {
            const ContactState &c = state.contacts[*known];
            if (c.size == entry.size && c.mtimeNs == entry.mtimeNs && c.inode == entry.inode &&
                *known <= count) {
                steady.insert(*known, entry);
                continue;
            }
        }
        const QString path = joinedPath(nativeFolder, entry.name);
        ReadCard read;
        read.entry = entry;
        read.bytes = files::readNativeFile(path);
        read.digest = digest(read.bytes);
        const ReadResult parsed = readVCards(read.bytes);
        if (!parsed.ok())
            throw DataError(path, QStringLiteral("line %1: %2. Nothing was changed.")
                                      .arg(parsed.errorLine)
                                      .arg(parsed.error));
        if (parsed.contacts.size() != 1)
            throw DataError(path, QStringLiteral("the file holds %1 vCards, where a vdir holds "
                                                 "one per file. Nothing was changed.")
                                      .arg(parsed.contacts.size()));
        read.card = parsed.contacts.first();
        if (const std::optional<int> n = lookup.contactNumber(read.card.uid)) {
            ours[*n].append(read);
            continue;
        }
        const auto pending = state.pending.constFind(entry.name);
        if (pending != state.pending.cend() && pending->file == read.digest &&
            pending->number <= count && !alreadyImported.contains(pending->number)) {
            alreadyImported.insert(pending->number, read);
            continue;
        }
        foreign.append(read);
    }

    State next;
    next.cardFileId = cardFile.toByteArray(QUuid::WithoutBraces);
    next.writer = writer;

    // In, new contacts: appended as import appends them, the state saying so first.
    if (!foreign.isEmpty()) {
        const int room = ContactRecord::MaxNumber - count;
        if (foreign.size() > room) {
            for (qsizetype i = room; i < foreign.size(); ++i)
                report.lines.append(
                    QStringLiteral("Not added, the card file is full (%1 contacts): %2 (%3)")
                        .arg(ContactRecord::MaxNumber)
                        .arg(foreign.at(i).card.name,
                             joinedPath(nativeFolder, foreign.at(i).entry.name)));
            foreign.resize(std::max(room, 0));
        }
    }
    if (!foreign.isEmpty()) {
        State announced = state;
        if (firstPass) {
            announced = State{};
            announced.cardFileId = next.cardFileId;
            announced.writer = QByteArrayLiteral("none");
        }
        QList<store::NewContact> batch;
        for (qsizetype i = 0; i < foreign.size(); ++i) {
            announced.pending.insert(foreign.at(i).entry.name,
                                     {foreign.at(i).digest, count + int(i) + 1});
            batch.append({foreign.at(i).card.record, foreign.at(i).card.notes});
        }
        files::replaceNativeFile(statePath, stateBytes(announced, cardFile));
        report.stateWritten = true;
        const QList<int> numbers = store::appendContacts(batch);
        for (qsizetype i = 0; i < numbers.size(); ++i)
            alreadyImported.insert(numbers.at(i), foreign.at(i));
    }
    if (!alreadyImported.isEmpty()) {
        card = readCardFile();
        contacts.clear();
        for (const Contact &contact : std::as_const(card.contacts))
            contacts.insert(contact.position, contact);
        count = card.recordCount;
        for (auto it = alreadyImported.cbegin(); it != alreadyImported.cend(); ++it) {
            const QString name = contacts.contains(it.key()) ? describe(contacts[it.key()])
                                                             : QString::number(it.key());
            report.lines.append(QStringLiteral("Added %1 from %2").arg(name, it->entry.name));
            ++report.added;
        }
    }

    // In, changed contacts; then Out for every contact.
    QList<QString> obsolete; // foreign files whose contacts now have our vCard file
    for (auto it = contacts.begin(); it != contacts.end(); ++it) {
        const int n = it.key();
        Contact &contact = *it;
        const QString canonical = canonicalName(n);
        const auto last = state.contacts.constFind(n);
        const bool known = !firstPass && last != state.contacts.cend();
        QByteArray cardNow = cardDigest(contact);
        const bool cardChanged = !known || last->card != cardNow;

        // A foreign vCard taken in gives way to ours, under our name.
        if (const auto a = alreadyImported.constFind(n);
            a != alreadyImported.cend() && a->entry.name != canonical)
            obsolete.append(a->entry.name);

        std::optional<files::NativeEntry> fileEntry;
        QByteArray fileDigest;
        QByteArray fileBytes;
        bool fileRead = false;
        if (const auto s = steady.constFind(n); s != steady.cend()) {
            fileEntry = *s;
            fileDigest = last->file;
        } else if (const auto o = ours.constFind(n); o != ours.cend()) {
            // The file named as ours wins over copies of the same UID under other names.
            const QList<ReadCard> &candidates = *o;
            const ReadCard *chosen = &candidates.first();
            for (const ReadCard &candidate : candidates)
                if (candidate.entry.name == canonical ||
                    (known && candidate.entry.name == last->fileName))
                    chosen = &candidate;
            fileEntry = chosen->entry;
            fileDigest = chosen->digest;
            fileBytes = chosen->bytes;
            fileRead = true;
            const bool fileChanged = !known || last->file != chosen->digest;
            if (fileChanged) {
                ContactRecord theirs = chosen->card.record;
                theirs.ContactID = contact.record.ContactID.text();
                theirs.DataType = contact.record.DataType.text();
                const bool same = theirs == contact.record && chosen->card.notes == contact.notes;
                if (same) {
                    // Already in step (a first pass, or the server rewrote our vCard).
                } else if (!cardChanged) {
                    store::replaceContact(n, theirs, chosen->card.notes);
                    contact.record = theirs;
                    contact.notes = chosen->card.notes;
                    cardNow = cardDigest(contact);
                    report.lines.append(QStringLiteral("Updated %1 from %2")
                                            .arg(describe(contact), fileEntry->name));
                    ++report.updated;
                } else {
                    contact.notes = conflictNotes(contact.notes, chosen->bytes);
                    store::replaceContact(n, contact.record, contact.notes);
                    cardNow = cardDigest(contact);
                    report.lines.append(
                        QStringLiteral("Conflict on %1: changed in the card file and in %2; the "
                                       "card file's version was kept, the other version is in "
                                       "the contact's notes")
                            .arg(describe(contact), fileEntry->name));
                    ++report.conflicts;
                    fileDigest.clear(); // written out again below
                }
                // Equal content or an update taken in: the file is in step as it is.
                if (fileDigest == chosen->digest) {
                    next.contacts.insert(n, {cardNow, fileEntry->name, fileDigest, fileEntry->size,
                                             fileEntry->mtimeNs, fileEntry->inode});
                    continue;
                }
            }
        } else if (known && !present.contains(last->fileName)) {
            report.lines.append(QStringLiteral("The vCard of %1 was deleted from the folder; "
                                               "nothing was deleted, it is written again")
                                    .arg(describe(contact)));
            ++report.restored;
        }

        // Out: the file is rewritten only when what it should hold differs from it.
        const QString name = fileEntry ? fileEntry->name : canonical;
        const bool inStep = fileEntry && known && !cardChanged && fileDigest == last->file;
        if (inStep && sameWriter) {
            next.contacts.insert(n, {cardNow, name, fileDigest, fileEntry->size, fileEntry->mtimeNs,
                                     fileEntry->inode});
            continue;
        }
        const QByteArray wanted = vcardFor(contact, contactUid(cardFile, n));
        const QString path = joinedPath(nativeFolder, name);
        if (fileEntry && !fileRead && fileDigest == digest(wanted)) {
            next.contacts.insert(n, {cardNow, name, fileDigest, fileEntry->size, fileEntry->mtimeNs,
                                     fileEntry->inode});
            continue;
        }
        if (fileEntry && fileRead && fileBytes == wanted) {
            next.contacts.insert(n, {cardNow, name, fileDigest, fileEntry->size, fileEntry->mtimeNs,
                                     fileEntry->inode});
            continue;
        }
        files::replaceNativeFile(path, wanted);
        ++report.written;
        // Size, time and inode are filled in from the folder below.
        next.contacts.insert(n, {cardNow, name, digest(wanted), -1, -1, 0});
    }

    for (const QString &name : std::as_const(obsolete))
        files::deleteNativeFile(joinedPath(nativeFolder, name));

    if (report.written > 0 || !obsolete.isEmpty()) {
        QHash<QString, files::NativeEntry> now;
        for (const files::NativeEntry &entry : files::listNativeFolder(nativeFolder))
            now.insert(entry.name, entry);
        for (ContactState &c : next.contacts)
            if (c.size < 0)
                if (const auto e = now.constFind(c.fileName); e != now.cend()) {
                    c.size = e->size;
                    c.mtimeNs = e->mtimeNs;
                    c.inode = e->inode;
                }
    }

    const QByteArray newStateBytes = stateBytes(next, cardFile);
    if (newStateBytes != oldStateBytes || report.stateWritten) {
        files::replaceNativeFile(statePath, newStateBytes);
        report.stateWritten = true;
    }
    if (report.written > 0)
        report.lines.append(QStringLiteral("Wrote %1 vCard file(s).").arg(report.written));
    if (report.lines.isEmpty())
        report.lines.append(QStringLiteral("Nothing changed."));
    return report;
}

} // namespace cardomine::tool
