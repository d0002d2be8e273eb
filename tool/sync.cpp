// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/sync.h"

#include "datastore/appendcontacts.h"
#include "datastore/cardfilereader.h"
#include "datastore/contactphotos.h"
#include "datastore/dataerror.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "interchange/cardfileid.h"
#include "interchange/duplicates.h"
#include "interchange/exportformats.h"
#include "interchange/importedvalues.h"
#include "interchange/importreader.h"
#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/nativefolder.h"
#include "tool/contacts.h"
#include "tool/folderlock.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <optional>
#include <vector>

namespace cardomine::tool {

using namespace interchange;

namespace files = platform::files;

namespace {

const QByteArray StateHeader = QByteArrayLiteral("cardomine-sync 1");
const QString VcardExtension = QStringLiteral(".vcf");

// 64 bits of SHA-1 in hex: stable across Qt versions and machines, unlike qHash.
QByteArray digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).left(8).toHex();
}

// What the last pass left for one contact: the card file's content (record and notes)
// and the vCard file that matched it. Identities are digests of a file's size,
// modification time and inode: an unchanged identity means an unchanged file, so a
// quiet pass reads nothing but the data file.
struct ContactState
{
    QByteArray record;  // digest of the record's fields
    QByteArray notes;   // digest of the notes text
    QByteArray notesId; // identity of the notes file, "-" for none
    QString fileName;   // the vCard file in the folder
    QByteArray file;    // digest of its bytes
    QByteArray fileId;  // its identity
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

std::optional<State> parseState(const QByteArray &bytes, const QUuid &cardFile,
                                const std::function<QString(int)> &canonicalName)
{
    // The lines and their fields as views into the file's bytes; only what is kept is
    // copied. A state of 32,767 contacts is read at every pass.
    qsizetype next = 0;
    const auto nextLine = [&bytes, &next]() -> std::optional<QByteArrayView> {
        if (next > bytes.size())
            return std::nullopt;
        qsizetype end = bytes.indexOf('\n', next);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line = QByteArrayView(bytes).sliced(next, end - next);
        next = end + 1;
        return line;
    };
    const std::optional<QByteArrayView> header = nextLine();
    const std::optional<QByteArrayView> cardLine = nextLine();
    const std::optional<QByteArrayView> writerLine = nextLine();
    if (!header || !cardLine || !writerLine || *header != StateHeader)
        return std::nullopt;
    State state;
    const QList<QByteArray> card = cardLine->toByteArray().split(' ');
    const QList<QByteArray> writer = writerLine->toByteArray().split(' ');
    if (card.size() != 2 || card.at(0) != "card" || writer.size() != 2 || writer.at(0) != "writer")
        return std::nullopt;
    state.cardFileId = card.at(1);
    state.writer = writer.at(1);
    if (QUuid::fromString(QString::fromLatin1(state.cardFileId)) != cardFile)
        return std::nullopt;
    std::array<QByteArrayView, 10> f;
    const auto fieldsOf = [&f](QByteArrayView line) {
        qsizetype count = 0;
        qsizetype start = 0;
        for (qsizetype at = 0; at <= line.size(); ++at) {
            if (at < line.size() && line.at(at) != ' ')
                continue;
            if (count == qsizetype(f.size()))
                return count + 1; // more fields than any line has
            f[size_t(count++)] = line.sliced(start, at - start);
            start = at + 1;
        }
        return count;
    };
    while (const std::optional<QByteArrayView> line = nextLine()) {
        if (line->isEmpty())
            continue;
        const qsizetype fields = fieldsOf(*line);
        bool ok = false;
        if (f[0] == "c" && fields == 9) {
            const int n = f[1].toInt(&ok);
            if (!ok || n < 1 || n > ContactRecord::MaxNumber)
                return std::nullopt;
            const QString name =
                f[8] == "-"
                    ? canonicalName(n)
                    : QString::fromUtf8(QByteArray::fromPercentEncoding(f[8].toByteArray()));
            if (name.isEmpty() || f[7] != "-")
                return std::nullopt;
            // The lines are written in ascending order: each goes at the end.
            state.contacts.insert(state.contacts.cend(), n,
                                  {f[2].toByteArray(), f[3].toByteArray(), f[4].toByteArray(), name,
                                   f[5].toByteArray(), f[6].toByteArray()});
        } else if (f[0] == "p" && fields == 4) {
            const int n = f[2].toInt(&ok);
            const QString name =
                QString::fromUtf8(QByteArray::fromPercentEncoding(f[3].toByteArray()));
            if (!ok || n < 1 || n > ContactRecord::MaxNumber || name.isEmpty())
                return std::nullopt;
            state.pending.insert(name, {f[1].toByteArray(), n});
        } else {
            return std::nullopt;
        }
    }
    return state;
}

QByteArray stateBytes(const State &state, const std::function<QString(int)> &canonicalName)
{
    QByteArray out = StateHeader + "\ncard " + state.cardFileId + "\nwriter " + state.writer + '\n';
    out.reserve(out.size() + state.contacts.size() * 110);
    for (auto it = state.contacts.cbegin(); it != state.contacts.cend(); ++it) {
        const ContactState &c = *it;
        const QByteArray name = c.fileName == canonicalName(it.key())
                                    ? QByteArrayLiteral("-")
                                    : QUrl::toPercentEncoding(c.fileName);
        out += "c " + QByteArray::number(it.key()) + ' ' + c.record + ' ' + c.notes + ' ' +
               c.notesId + ' ' + c.file + ' ' + c.fileId + " - " + name + '\n';
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

QByteArray identity(const files::NativeEntry &entry)
{
    // FNV-1a over the three numbers: stable, and cheap enough for every file of a pass.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::uint64_t value :
         {std::uint64_t(entry.size), std::uint64_t(entry.mtimeNs), entry.inode})
        for (int shift = 0; shift < 64; shift += 8) {
            hash ^= (value >> shift) & 0xff;
            hash *= 1099511628211ULL;
        }
    return QByteArray::number(qulonglong(hash), 16);
}

QByteArray notesDigest(const QString &notes)
{
    return digest(notes.toUtf8());
}

// Our vCard for one contact: the export's writer, with the contact's UID of this card
// file.
QByteArray vcardFor(const Contact &contact, const QString &uid)
{
    const QByteArray card = toVCard({contact}, QUuid());
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

namespace {

// The card file's side of a pass: the records from 1 to the count as stored, and the
// notes files' identities. Records are decoded and notes read only when needed.
class CardSide
{
public:
    void load()
    {
        const cardfile::CardFile file = cardfile::read({.notes = cardfile::NotesText::Skip});
        count = file.recordCount;
        m_records.clear();
        m_notes.clear();
        m_present.assign(size_t(count) + 1, false);
        // The records of either form at their positions, as the random form holds them.
        m_data = QByteArray(qsizetype(count) * ContactRecord::Length, ' ');
        for (const Contact &contact : file.contacts) {
            if (contact.position < 1 || contact.position > count)
                continue;
            m_data.replace(qsizetype(contact.position - 1) * ContactRecord::Length,
                           ContactRecord::Length, contact.record.toRandomBytes());
            m_records.insert(contact.position, contact.record);
            m_present[size_t(contact.position)] = true;
        }
        notesFiles.clear();
        for (const cardfile::NotesFile &notes : file.notesFiles) {
            if (notes.number <= count)
                notesFiles.insert(notes.number,
                                  identity({notes.name, notes.size, notes.mtimeNs, notes.inode}));
        }
    }

    QByteArrayView raw(int n) const
    {
        return QByteArrayView(m_data).sliced(qsizetype(n - 1) * ContactRecord::Length,
                                             ContactRecord::Length);
    }
    // Records nothing was written to are left out, as the export leaves them out.
    bool has(int n) const { return n >= 1 && n <= count && m_present[size_t(n)]; }
    QByteArray recordDigest(int n) const { return digest(raw(n).toByteArray()); }

    ContactRecord record(int n)
    {
        auto it = m_records.find(n);
        if (it == m_records.end()) {
            ContactRecord record;
            record.setFromRandomBytes(raw(n).toByteArray());
            it = m_records.insert(n, record);
        }
        return *it;
    }
    void setRecord(int n, const ContactRecord &record)
    {
        m_records.insert(n, record);
        m_data.replace(qsizetype(n - 1) * ContactRecord::Length, ContactRecord::Length,
                       record.toRandomBytes());
    }

    const QString &notes(int n)
    {
        auto it = m_notes.find(n);
        if (it == m_notes.end())
            it = m_notes.insert(n, notesFiles.contains(n) ? notes::read(n) : QString());
        return *it;
    }
    void setNotes(int n, const QString &text) { m_notes.insert(n, text); }

    Contact contact(int n) { return {n, record(n), notes(n)}; }

    int count = 0;
    QHash<int, QByteArray> notesFiles; // notes identities by number

private:
    QByteArray m_data; // count records of the random form
    QHash<int, ContactRecord> m_records;
    QHash<int, QString> m_notes;
    std::vector<bool> m_present; // by position: the record is not blank
};

} // namespace

namespace {} // namespace

SyncReport syncVdir(const QString &nativeFolder)
{
    const auto lock = lockDataFolder();
    requireSealedCardFile(QStringLiteral("sync"));
    try {
        files::checkNativeFolderWritable(nativeFolder);
    } catch (const platform::FileError &error) {
        throw DataError(nativeFolder, QStringLiteral("the folder cannot be written (%1). Nothing "
                                                     "was changed.")
                                          .arg(error.reason()));
    }

    SyncReport report;
    const QUuid cardFile = cardFileId();
    CardSide card;
    card.load();
    // Our file names, made once: a UID is a digest of its own.
    std::vector<QString> canonicalNames;
    const auto canonicalName = [&](int n) -> QString {
        if (canonicalNames.size() <= size_t(n))
            canonicalNames.resize(size_t(std::max(n, card.count)) + 1);
        QString &name = canonicalNames[size_t(n)];
        if (name.isEmpty())
            name = vcardFileName(contactUid(cardFile, n));
        return name;
    };

    // The last pass's state; anything unreadable is a first pass, which recognises our
    // contacts by the UIDs in the files and so duplicates nothing.
    const QString statePath = joinedPath(nativeFolder, QLatin1String(SyncStateFileName));
    QByteArray oldStateBytes;
    State state;
    bool firstPass = true;
    const QList<files::NativeEntry> entries = files::listNativeEntries(nativeFolder);
    for (const files::NativeEntry &entry : entries)
        if (entry.name == QLatin1String(SyncStateFileName)) {
            oldStateBytes = files::readNativeFile(statePath);
            if (std::optional<State> parsed = parseState(oldStateBytes, cardFile, canonicalName)) {
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
    QHash<QString, int> stateFiles; // file name -> contact number
    for (auto it = state.contacts.cbegin(); it != state.contacts.cend(); ++it)
        stateFiles.insert(it->fileName, it.key());
    std::optional<UidLookup> lookup;
    QMap<int, QList<ReadCard>> ours;       // changed or unknown files by contact number
    QHash<int, files::NativeEntry> steady; // unchanged files by contact number
    QList<ReadCard> foreign;               // vCards new to the card file
    QMap<int, ReadCard> alreadyImported;   // foreign files appended by a pass cut short
    QSet<QString> present;
    for (const files::NativeEntry &entry : entries) {
        if (!entry.name.endsWith(VcardExtension, Qt::CaseInsensitive) ||
            entry.name.startsWith(QLatin1Char('.')))
            continue;
        present.insert(entry.name);
        if (const auto known = stateFiles.constFind(entry.name); known != stateFiles.cend()) {
            if (*known <= card.count && state.contacts.value(*known).fileId == identity(entry)) {
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
        if (!lookup)
            lookup.emplace(cardFile, card.count);
        if (const std::optional<int> n = lookup->contactNumber(read.card.uid)) {
            ours[*n].append(read);
            continue;
        }
        const auto pending = state.pending.constFind(entry.name);
        if (pending != state.pending.cend() && pending->file == read.digest &&
            pending->number <= card.count && !alreadyImported.contains(pending->number)) {
            alreadyImported.insert(pending->number, read);
            continue;
        }
        read.card.notes = notesWithUid(read.card.notes, read.card.uid); // as import keeps it
        foreign.append(read);
    }

    // Versions vdirsyncer set aside when a contact changed on both of its sides (see the
    // README's conflict_resolution command): each goes into its contact's notes.
    const QString conflictFolder = joinedPath(nativeFolder, QLatin1String(SyncConflictFolderName));
    QMap<int, QList<ReadCard>> setAside;
    QStringList setAsideDone;
    QList<files::NativeEntry> setAsideEntries;
    try {
        setAsideEntries = files::listNativeEntries(conflictFolder);
    } catch (const platform::FileError &error) {
        if (error.errorCode() != ENOENT)
            throw;
    }
    {
        for (const files::NativeEntry &entry : std::as_const(setAsideEntries)) {
            if (!entry.name.endsWith(VcardExtension, Qt::CaseInsensitive))
                continue;
            const QString path = joinedPath(conflictFolder, entry.name);
            ReadCard read;
            read.entry = entry;
            read.bytes = files::readNativeFile(path);
            const ReadResult parsed = readVCards(read.bytes);
            if (!parsed.ok() || parsed.contacts.size() != 1)
                throw DataError(
                    path, QStringLiteral("line %1: %2. Nothing was changed.")
                              .arg(parsed.errorLine)
                              .arg(parsed.ok() ? QStringLiteral("not one vCard") : parsed.error));
            read.card = parsed.contacts.first();
            if (!lookup)
                lookup.emplace(cardFile, card.count);
            if (const std::optional<int> n = lookup->contactNumber(read.card.uid);
                n && card.has(*n)) {
                setAside[*n].append(read);
                setAsideDone.append(path);
            } else {
                report.lines.append(QStringLiteral("%1 belongs to no contact of the card file; "
                                                   "left in place")
                                        .arg(path));
            }
        }
    }

    State next;
    next.cardFileId = cardFile.toByteArray(QUuid::WithoutBraces);
    next.writer = writer;

    // In, new contacts: a vCard the card file already holds by import's rules (the same
    // name with a phone or e-mail in common, or every box the same) is left where it is
    // and not added again; it stays a second card in the address book, as the report says.
    bool cardWritten = false;
    // The same rule as import's: a vCard that brings something new to the contact that
    // holds it has what is new merged into that contact's notes; either way it is not
    // added, and stays a second card in the address book, as the report says.
    if (!foreign.isEmpty()) {
        Duplicates known;
        for (int n = 1; n <= card.count; ++n)
            if (card.has(n))
                known.add(ContactValues(card.record(n), card.notes(n)), n);
        QList<ReadCard> fresh;
        bool merged = false;
        for (const ReadCard &read : std::as_const(foreign)) {
            const ContactValues values(read.card.record, read.card.notes);
            if (const std::optional<Duplicates::Found> found = known.find(values)) {
                const int h = found->holder;
                const QString path = joinedPath(nativeFolder, read.entry.name);
                const QString holder = h > 0
                                           ? describe(card.contact(h))
                                           : joinedPath(nativeFolder, fresh.at(-1 - h).entry.name);
                const ContactRecord holderRecord =
                    h > 0 ? card.record(h) : fresh.at(-1 - h).card.record;
                const QString holderNotes = h > 0 ? card.notes(h) : fresh.at(-1 - h).card.notes;
                const QList<ImportedValue> added =
                    newValues(values, ContactValues(holderRecord, holderNotes));
                const QString notes = withValuesAdded(holderNotes, added);
                if (added.isEmpty() || !fitsNotesLimit(notes)) {
                    report.lines.append(QStringLiteral("Not added, %1 %2: %3 (%4)%5")
                                            .arg(found->what, holder, read.card.name, path,
                                                 added.isEmpty()
                                                     ? QString()
                                                     : QStringLiteral("; its values would pass the "
                                                                      "notes limit")));
                } else {
                    if (h > 0) {
                        notes::write(h, notes);
                        cardWritten = true;
                        merged = true;
                    } else {
                        fresh[-1 - h].card.notes = notes;
                    }
                    known.add(ContactValues(holderRecord, notes), h);
                    report.lines.append(QStringLiteral("Not added, %1 %2: %3 (%4); merged into "
                                                       "contact %5: %6 values")
                                            .arg(found->what, holder, read.card.name, path)
                                            .arg(h > 0 ? QString::number(h) : holder)
                                            .arg(added.size()));
                }
                ++report.duplicates;
                continue;
            }
            known.add(values, int(-1 - fresh.size()));
            fresh.append(read);
        }
        foreign = fresh;
        if (merged)
            card.load();
    }
    // Appended as import appends them, the state saying so first.
    if (!foreign.isEmpty()) {
        const int room = ContactRecord::MaxNumber - card.count;
        if (foreign.size() > room) {
            for (qsizetype i = std::max(room, 0); i < foreign.size(); ++i)
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
                                     {foreign.at(i).digest, card.count + int(i) + 1});
            // The photo files its notes name come along.
            QList<photos::NewFile> photoFiles;
            for (const KeptBinary &binary : foreign.at(i).card.binaries)
                photoFiles.append({0, binary.name, binary.bytes});
            batch.append({foreign.at(i).card.record, foreign.at(i).card.notes, photoFiles});
        }
        files::replaceNativeFile(statePath, stateBytes(announced, canonicalName));
        report.stateWritten = true;
        const QList<int> numbers = store::appendContacts(batch);
        for (qsizetype i = 0; i < numbers.size(); ++i)
            alreadyImported.insert(numbers.at(i), foreign.at(i));
        cardWritten = true;
    }
    if (!alreadyImported.isEmpty()) {
        card.load();
        for (auto it = alreadyImported.cbegin(); it != alreadyImported.cend(); ++it) {
            const QString name = card.has(it.key()) ? describe(card.contact(it.key()))
                                                    : QStringLiteral("contact %1").arg(it.key());
            report.lines.append(QStringLiteral("Added %1 from %2").arg(name, it->entry.name));
            ++report.added;
        }
    }

    // In, changed contacts; then Out for every contact.
    QList<QString> obsolete; // foreign files whose contacts now have our vCard file
    for (int n = 1; n <= card.count; ++n) {
        if (!card.has(n))
            continue;
        ContactRecord record;
        const QString canonical = canonicalName(n);
        const auto last = state.contacts.constFind(n);
        const bool known = !firstPass && last != state.contacts.cend();
        const QByteArray notesId = card.notesFiles.value(n, QByteArrayLiteral("-"));
        // The state for this contact as the card file holds it now.
        ContactState now;
        now.record = card.recordDigest(n);
        now.notesId = notesId;
        now.notes = known && last->notesId == notesId ? last->notes : notesDigest(card.notes(n));
        bool cardChanged = !known || last->record != now.record || last->notes != now.notes;
        if (const auto kept = setAside.constFind(n); kept != setAside.cend()) {
            QString notes = card.notes(n);
            for (const ReadCard &version : *kept)
                notes = conflictNotes(notes, version.bytes);
            record = card.record(n);
            store::replaceContact(n, record, notes);
            cardWritten = true;
            card.setNotes(n, notes);
            now.notes = notesDigest(notes);
            now.notesId.clear();
            cardChanged = true;
            report.lines.append(QStringLiteral("Conflict on %1: changed on both sides of "
                                               "vdirsyncer; the card file's version was kept, "
                                               "the other version is in the contact's notes")
                                    .arg(describe(card.contact(n))));
            ++report.conflicts;
        }

        // A foreign vCard taken in gives way to ours, under our name.
        if (const auto a = alreadyImported.constFind(n);
            a != alreadyImported.cend() && a->entry.name != canonical)
            obsolete.append(a->entry.name);

        std::optional<files::NativeEntry> fileEntry;
        QByteArray fileDigest;
        QByteArray fileBytes;
        bool fileRead = false;
        if (const auto st = steady.constFind(n); st != steady.cend()) {
            fileEntry = *st;
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
                record = card.record(n);
                ContactRecord theirs = chosen->card.record;
                theirs.ContactID = record.ContactID.text();
                theirs.DataType = record.DataType.text();
                const Contact contact = card.contact(n);
                if (theirs == record && chosen->card.notes == contact.notes) {
                    // Already in step (a first pass, or the server rewrote our vCard).
                } else if (!cardChanged) {
                    store::replaceContact(n, theirs, chosen->card.notes);
                    cardWritten = true;
                    record = theirs;
                    card.setRecord(n, theirs);
                    card.setNotes(n, chosen->card.notes);
                    report.lines.append(QStringLiteral("Updated %1 from %2")
                                            .arg(describe(card.contact(n)), fileEntry->name));
                    ++report.updated;
                } else {
                    const QString kept = conflictNotes(contact.notes, chosen->bytes);
                    store::replaceContact(n, record, kept);
                    cardWritten = true;
                    card.setNotes(n, kept);
                    report.lines.append(
                        QStringLiteral("Conflict on %1: changed in the card file and in %2; the "
                                       "card file's version was kept, the other version is in "
                                       "the contact's notes")
                            .arg(describe(contact), fileEntry->name));
                    ++report.conflicts;
                    fileDigest.clear(); // written out again below
                }
                now.record = card.recordDigest(n);
                now.notes = notesDigest(card.notes(n));
                if (cardWritten)
                    now.notesId.clear(); // filled in from the notes folder below
                // Equal content or an update taken in: the file is in step as it is.
                if (fileDigest == chosen->digest) {
                    now.fileName = fileEntry->name;
                    now.file = fileDigest;
                    now.fileId = identity(*fileEntry);
                    next.contacts.insert(n, now);
                    continue;
                }
            }
        } else if (known && !present.contains(last->fileName)) {
            report.lines.append(QStringLiteral("The vCard of %1 was deleted from the folder; "
                                               "nothing was deleted, it is written again")
                                    .arg(describe(card.contact(n))));
            ++report.restored;
        }

        // Out: the file is rewritten only when what it should hold differs from it.
        const QString name = fileEntry ? fileEntry->name : canonical;
        now.fileName = name;
        const bool inStep = fileEntry && known && !cardChanged && fileDigest == last->file;
        if (inStep && sameWriter) {
            now.file = fileDigest;
            now.fileId = identity(*fileEntry);
            next.contacts.insert(n, now);
            continue;
        }
        const QByteArray wanted = vcardFor(card.contact(n), contactUid(cardFile, n));
        if (fileEntry &&
            ((!fileRead && fileDigest == digest(wanted)) || (fileRead && fileBytes == wanted))) {
            now.file = fileDigest;
            now.fileId = identity(*fileEntry);
            next.contacts.insert(n, now);
            continue;
        }
        files::replaceNativeFile(joinedPath(nativeFolder, name), wanted);
        ++report.written;
        now.file = digest(wanted);
        now.fileId.clear(); // filled in from the folder below
        next.contacts.insert(n, now);
    }

    for (const QString &name : std::as_const(obsolete))
        files::deleteNativeFile(joinedPath(nativeFolder, name));
    for (const QString &path : std::as_const(setAsideDone))
        files::deleteNativeFile(path);

    // Identities of the files this pass wrote.
    if (report.written > 0) {
        QHash<QString, QByteArray> now;
        for (const files::NativeEntry &entry : files::listNativeEntries(nativeFolder))
            now.insert(entry.name, identity(entry));
        for (ContactState &c : next.contacts)
            if (c.fileId.isEmpty())
                c.fileId = now.value(c.fileName, QByteArrayLiteral("-"));
    }
    if (cardWritten) {
        card.load();
        for (auto it = next.contacts.begin(); it != next.contacts.end(); ++it)
            if (it->notesId.isEmpty())
                it->notesId = card.notesFiles.value(it.key(), QByteArrayLiteral("-"));
    }

    const QByteArray newStateBytes = stateBytes(next, canonicalName);
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
