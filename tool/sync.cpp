// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/sync.h"

#include "sync/cardmerge.h"
#include "sync/conflictnotes.h"
#include "sync/lastpassvalues.h"
#include "sync/plan.h"
#include "sync/valuemerge.h"

#include "datastore/appendcontacts.h"
#include "datastore/cardfilereader.h"
#include "datastore/contactphotos.h"
#include "datastore/dataerror.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "interchange/cardfileid.h"
#include "interchange/duplicates.h"
#include "interchange/exportformats.h"
#include "interchange/importcard.h"
#include "interchange/importedvalues.h"
#include "interchange/importreader.h"
#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/nativefolder.h"
#include "platform/readahead.h"
#include "platform/seenfile.h"
#include "platform/twothreads.h"
#include "tool/contacts.h"
#include "tool/folderlock.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <functional>
#include <optional>
#include <unordered_map>
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
    QString foreignUid; // the UID of an address book's vCard the contact came from
    // The values both sides held after it, one by one (sync::baseText); empty when
    // unknown (a state an earlier version wrote): then a change on both sides is a
    // whole-contact conflict.
    QByteArray base;
    // The vCard's values then, whole (sync::wholeBoxesIn): "=" when the same as base,
    // empty when unknown (then only a change its boxes show counts).
    QByteArray whole;
};

// A foreign vCard appended as a record whose file is not yet replaced by ours: kept in
// the state before the append, so a pass cut short after it never appends it twice.
struct PendingImport
{
    QByteArray file;
    int number = 0;
    QString uid; // the card's UID, which the appended record's notes keep
    // The phone's copies of the card, which come with it as its second vCards: a pass
    // cut short before the append is in place attaches them to it again.
    QStringList copies;
};

// A second vCard of a contact: a card the address book holds besides the contact's own
// (a phone's copy of it, found by the duplicate rule and merged in). It is kept, and
// follows the contact: its changes come into the record and the record's go out to it.
// Its values never matched the record's one for one, so each side's last values are
// remembered on their own.
struct LinkedCard
{
    QString fileName;
    QByteArray file;       // digest of its bytes
    QByteArray fileId;     // its identity
    QByteArray recordBase; // the record's values when the card was last in step
    QByteArray fileBase;   // the card's values then, as the card file renders them
};

struct State
{
    QByteArray cardFileId;
    QByteArray writer; // digest of the vCard writer's output for a fixed contact
    QMap<int, ContactState> contacts;
    QHash<QString, PendingImport> pending; // by file name
    QMap<int, QList<LinkedCard>> links;    // by contact number
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
    std::array<QByteArrayView, 11> f;
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
        if (f[0] == "c" && fields >= 9 && fields <= 11) {
            const int n = f[1].toInt(&ok);
            if (!ok || n < 1 || n > ContactRecord::MaxNumber)
                return std::nullopt;
            const QString name =
                f[8] == "-"
                    ? canonicalName(n)
                    : QString::fromUtf8(QByteArray::fromPercentEncoding(f[8].toByteArray()));
            if (name.isEmpty())
                return std::nullopt;
            const QString foreignUid =
                f[7] == "-"
                    ? QString()
                    : QString::fromUtf8(QByteArray::fromPercentEncoding(f[7].toByteArray()));
            // Only its size is checked here, at every pass for every contact.
            if (fields >= 10 && f[9].size() != sync::BaseTextSize)
                return std::nullopt;
            if (fields == 11 && f[10] != "=" && f[10].size() != sync::BaseTextSize)
                return std::nullopt;
            // The lines are written in ascending order: each goes at the end.
            state.contacts.insert(state.contacts.cend(), n,
                                  {f[2].toByteArray(), f[3].toByteArray(), f[4].toByteArray(), name,
                                   f[5].toByteArray(), f[6].toByteArray(), foreignUid,
                                   fields >= 10 ? f[9].toByteArray() : QByteArray(),
                                   fields == 11 ? f[10].toByteArray() : QByteArray()});
        } else if (f[0] == "p" && (fields == 4 || fields == 5)) {
            const int n = f[2].toInt(&ok);
            const QString name =
                QString::fromUtf8(QByteArray::fromPercentEncoding(f[3].toByteArray()));
            if (!ok || n < 1 || n > ContactRecord::MaxNumber || name.isEmpty())
                return std::nullopt;
            const QString uid =
                fields == 5 ? QString::fromUtf8(QByteArray::fromPercentEncoding(f[4].toByteArray()))
                            : QString();
            state.pending.insert(name, {f[1].toByteArray(), n, uid, {}});
        } else if (f[0] == "q" && fields == 3) {
            const auto pending = state.pending.find(
                QString::fromUtf8(QByteArray::fromPercentEncoding(f[1].toByteArray())));
            if (pending == state.pending.end())
                return std::nullopt;
            pending->copies.append(
                QString::fromUtf8(QByteArray::fromPercentEncoding(f[2].toByteArray())));
        } else if (f[0] == "l" && fields == 7) {
            const int n = f[1].toInt(&ok);
            const QString name =
                QString::fromUtf8(QByteArray::fromPercentEncoding(f[6].toByteArray()));
            if (!ok || n < 1 || n > ContactRecord::MaxNumber || name.isEmpty() ||
                !sync::parseBase(f[4]) || !sync::parseBase(f[5]))
                return std::nullopt;
            state.links[n].append({name, f[2].toByteArray(), f[3].toByteArray(), f[4].toByteArray(),
                                   f[5].toByteArray()});
        } else {
            return std::nullopt;
        }
    }
    return state;
}

QByteArray stateBytes(const State &state, const std::function<QString(int)> &canonicalName)
{
    QByteArray out = StateHeader + "\ncard " + state.cardFileId + "\nwriter " + state.writer + '\n';
    out.reserve(out.size() + state.contacts.size() * 210);
    for (auto it = state.contacts.cbegin(); it != state.contacts.cend(); ++it) {
        const ContactState &c = *it;
        const QByteArray name = c.fileName == canonicalName(it.key())
                                    ? QByteArrayLiteral("-")
                                    : QUrl::toPercentEncoding(c.fileName);
        const QByteArray uid =
            c.foreignUid.isEmpty() ? QByteArrayLiteral("-") : QUrl::toPercentEncoding(c.foreignUid);
        out += "c " + QByteArray::number(it.key()) + ' ' + c.record + ' ' + c.notes + ' ' +
               c.notesId + ' ' + c.file + ' ' + c.fileId + ' ' + uid + ' ' + name;
        if (!c.base.isEmpty())
            out += ' ' + c.base;
        if (!c.base.isEmpty() && !c.whole.isEmpty())
            out += ' ' + c.whole;
        out += '\n';
    }
    QStringList pendingNames = state.pending.keys();
    pendingNames.sort();
    for (const QString &name : std::as_const(pendingNames)) {
        const PendingImport &p = state.pending.value(name);
        out += "p " + p.file + ' ' + QByteArray::number(p.number) + ' ' +
               QUrl::toPercentEncoding(name);
        if (!p.uid.isEmpty())
            out += ' ' + QUrl::toPercentEncoding(p.uid);
        out += '\n';
    }
    for (const QString &name : std::as_const(pendingNames))
        for (const QString &copy : state.pending.value(name).copies)
            out +=
                "q " + QUrl::toPercentEncoding(name) + ' ' + QUrl::toPercentEncoding(copy) + '\n';
    for (auto it = state.links.cbegin(); it != state.links.cend(); ++it)
        for (const LinkedCard &l : *it)
            out += "l " + QByteArray::number(it.key()) + ' ' + l.file + ' ' + l.fileId + ' ' +
                   l.recordBase + ' ' + l.fileBase + ' ' + QUrl::toPercentEncoding(l.fileName) +
                   '\n';
    return out;
}

// FNV-1a over the three numbers: stable, and cheap enough for every file of a pass.
std::uint64_t identityHash(const files::NativeEntry &entry)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::uint64_t value :
         {std::uint64_t(entry.size), std::uint64_t(entry.mtimeNs), entry.inode})
        for (int shift = 0; shift < 64; shift += 8) {
            hash ^= (value >> shift) & 0xff;
            hash *= 1099511628211ULL;
        }
    return hash;
}

QByteArray identity(const files::NativeEntry &entry)
{
    return QByteArray::number(qulonglong(identityHash(entry)), 16);
}

// identity(entry) == stored, without making a string: a quiet pass asks it of every file.
bool sameIdentity(QByteArrayView stored, const files::NativeEntry &entry)
{
    std::array<char, 16> hex{};
    const auto end =
        std::to_chars(hex.data(), hex.data() + hex.size(), identityHash(entry), 16).ptr;
    return stored == QByteArrayView(hex.data(), end - hex.data());
}

QByteArray notesDigest(const QString &notes)
{
    return digest(notes.toUtf8());
}

// The state's form of a vCard's whole values, next to the base of its boxes.
QByteArray wholeText(const sync::BaseValues &whole, const QByteArray &base)
{
    const QByteArray text = sync::baseText(whole);
    return text == base ? QByteArrayLiteral("=") : text;
}

QByteArray wholeText(const sync::Boxes &whole, const QByteArray &base)
{
    return wholeText(sync::baseOf(whole), base);
}

// For a vCard as read: its values as the card holds them.
QByteArray wholeText(const ImportedContact &card, const QByteArray &bytes, const QByteArray &base)
{
    return wholeText(sync::wholeBoxesIn(bytes, sync::boxesOf(card.record, card.notes)), base);
}

std::optional<sync::BaseValues> wholeBase(const ContactState &c)
{
    if (c.whole.isEmpty())
        return std::nullopt;
    return sync::parseBase(c.whole == "=" ? c.base : c.whole);
}

// Our vCard for one contact: the export's writer, with the contact's UID of this card
// file. The writer's UID line, with any continuation, gives way to it; the rest of the
// card is copied as written, line by line, without splitting it into a list.
// whole: the contact's whole values (wholeContact).
QByteArray vcardFor(const Contact &contact, const QString &uid, const WholeContact &whole)
{
    const QByteArray card = toVCard(contact, whole, uid);
    const QByteArray uidLine = foldLine(QStringLiteral("UID:") + uid);
    QByteArray out;
    out.reserve(card.size() + uidLine.size());
    bool hasUid = false;
    const auto continues = [&card](qsizetype at) {
        return at < card.size() && (card.at(at) == ' ' || card.at(at) == '\t');
    };
    for (qsizetype at = 0; at < card.size();) {
        qsizetype end = card.indexOf('\n', at);
        end = end < 0 ? card.size() : end + 1;
        const QByteArrayView line = QByteArrayView(card).sliced(at, end - at);
        at = end;
        if (line.startsWith("UID:") || line.startsWith("UID;")) {
            while (continues(at)) {
                const qsizetype next = card.indexOf('\n', at);
                at = next < 0 ? card.size() : next + 1;
            }
            if (!hasUid)
                out += uidLine;
            hasUid = true;
            continue;
        }
        if (line.startsWith("END:VCARD") && !hasUid) {
            out += uidLine;
            hasUid = true;
        }
        out += line;
    }
    return out;
}

QByteArray vcardFor(const Contact &contact, const QString &uid)
{
    return vcardFor(contact, uid, wholeContact(contact.record, contact.notes));
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

// The address book's values that differ from the record, for the record's notes: one
// "Label: value" line each under a heading of their own. Only the boxes' values, never
// the whole vCard (a photo would double the notes at every conflict); the vCard itself
// keeps everything else.
// The notes with "Label: value" lines added at the end of the contact's own notes, under
// a dated heading saying what happened; before the section of imported values.
QString withConflictLines(const QString &notes, const QString &what, const QStringList &lines)
{
    QString out = sync::boxesOf({}, notes).ownNotes;
    const QStringList fresh = sync::newConflictLines(out, lines);
    if (fresh.isEmpty())
        return notes;
    const QString section = notes.mid(out.size());
    if (!out.isEmpty())
        out += QLatin1String("\r\n");
    out += sync::ConflictHeadingStart +
           QStringLiteral("%1: %2 ---\r\n")
               .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm")) +
                        QStringLiteral(" UTC"),
                    what);
    out += fresh.join(QLatin1String("\r\n"));
    // The section's heading stays on a line of its own, also after notes that had no
    // text of their own.
    if (!section.isEmpty() && !section.startsWith(QLatin1Char('\r')) &&
        !section.startsWith(QLatin1Char('\n')))
        out += QLatin1String("\r\n");
    return out + section;
}

// The whole value behind a box the address book's card fills: a value cut to the box is
// kept whole in the section of its notes ("First name: …"), which gives it back.
// Else, with the vCard's bytes, the property part the box shows: letters the card file
// lacks are no cut, and import keeps no whole value for them.
QString wholeValue(FieldBox box, const QString &rendered, const QString &theirNotes,
                   const QByteArray &theirCard = {})
{
    const QString prefix = importing::boxLabel(box) + QStringLiteral(": ");
    for (const QString &line : theirNotes.split(QStringLiteral("\r\n")))
        if (line.startsWith(prefix) &&
            importing::boxRendering(box, line.mid(prefix.size())) == rendered)
            return line.mid(prefix.size());
    if (!theirCard.isEmpty())
        return sync::wholeValueIn(theirCard, box, rendered).value_or(rendered);
    return rendered;
}

// The values to write into a vCard that shows `seen`: a value the card file holds cut or
// with "?" goes out whole where the notes keep it whole (a 43-character e-mail address
// stays an e-mail address, a name keeps its letters); the card's note stays when its text
// is the record's and it holds the record's conflict lines already (a card file put back
// from a backup takes none from the phone).
// whole: a vCard the values may have come from (the contact's own, for a second one).
sync::Boxes valuesToWrite(const sync::Boxes &now, const sync::Boxes &seen, const QString &notes,
                          const QByteArray &whole = {})
{
    sync::Boxes out = now;
    for (int i = 0; i < FieldBoxCount; ++i)
        if (out.box[size_t(i)] != seen.box[size_t(i)])
            out.box[size_t(i)] = wholeValue(FieldBox(i), out.box[size_t(i)], notes, whole);
    if (sync::notesValue(out.ownNotes) == sync::notesValue(seen.ownNotes) &&
        seen.ownNotes.contains(sync::conflictBlocks(out.ownNotes)))
        out.ownNotes = seen.ownNotes;
    return out;
}

// The box a line of the notes section belongs to: a box's whole value, its label or its
// kind ("Home phone", "Home phone label", "Home phone type"); nullopt for the others.
std::optional<FieldBox> boxOfValue(const ImportedValue &value)
{
    for (int i = 0; i < FieldBoxCount; ++i) {
        const QString label = importing::boxLabel(FieldBox(i));
        if (value.label == label || value.label == label + QStringLiteral(" label") ||
            value.label == label + importing::KindSuffix)
            return FieldBox(i);
    }
    return std::nullopt;
}

// The values of the notes' section the user corrected in the card file: a label the
// card's section and the record's each hold once, with different values. A box's whole
// value goes out with its box, and UIDs are no values.
QList<sync::Correction> sectionCorrections(const QString &cardNotes, const QString &recordNotes)
{
    const auto once = [](const QString &notes) {
        QHash<QString, QString> one;
        QSet<QString> several;
        for (const ImportedValue &value : splitNotes(notes).values) {
            if (value.label.isEmpty() || value.label == QLatin1String("UID") || boxOfValue(value))
                continue;
            if (one.contains(value.label))
                several.insert(value.label);
            one.insert(value.label, value.value);
        }
        for (const QString &label : std::as_const(several))
            one.remove(label);
        return one;
    };
    const QHash<QString, QString> theirs = once(cardNotes);
    const QHash<QString, QString> ours = once(recordNotes);
    QList<sync::Correction> corrections;
    for (auto it = ours.cbegin(); it != ours.cend(); ++it)
        if (const auto was = theirs.constFind(it.key()); was != theirs.cend() && *was != *it)
            corrections.append({*was, *it});
    return corrections;
}

// The notes section once values came in from the address book's card: the card's
// section values, then the record's that it lacks (values a copy of the card merged in,
// the UIDs kept), so nothing the record kept is dropped. A box's whole value, label and
// kind come from the side whose value the box now holds.
QList<ImportedValue> sectionAfterTakingIn(const QString &recordNotes, const QString &theirNotes,
                                          const std::array<bool, FieldBoxCount> &theirBox)
{
    QList<ImportedValue> values;
    for (const ImportedValue &value : splitNotes(theirNotes).values) {
        const std::optional<FieldBox> box = boxOfValue(value);
        if ((!box || theirBox[size_t(*box)]) && !values.contains(value))
            values.append(value);
    }
    for (const ImportedValue &value : splitNotes(recordNotes).values) {
        const std::optional<FieldBox> box = boxOfValue(value);
        if ((!box || !theirBox[size_t(*box)]) && !values.contains(value))
            values.append(value);
    }
    return values;
}

// theirNotes: the notes import makes of the address book's card, for its whole values.
QString conflictNotes(const QString &notes, const sync::Boxes &theirs, const sync::Boxes &ours,
                      const QString &theirNotes, const QByteArray &theirCard)
{
    QStringList lines;
    for (int i = 0; i < FieldBoxCount; ++i)
        if (theirs.box[size_t(i)] != ours.box[size_t(i)])
            lines.append(importing::boxLabel(FieldBox(i)) + QStringLiteral(": ") +
                         wholeValue(FieldBox(i), theirs.box[size_t(i)], theirNotes, theirCard));
    if (theirs.ownNotes != ours.ownNotes && !theirs.ownNotes.isEmpty())
        lines.append(QStringLiteral("Notes: ") + theirs.ownNotes);
    return withConflictLines(notes,
                             QStringLiteral("changed in the card file and in the address book; "
                                            "the card file's values were kept. The address "
                                            "book's:"),
                             lines);
}

// The record and notes once a merge value by value is applied: the values the phone
// changed alone come in, a value changed on both stays the record's and the card's goes
// into the notes as a conflict line. theirs: the boxes of the card, theirCard the card.
struct MergedContact
{
    ContactRecord record;
    QString notes;
};
MergedContact mergedFromCard(const ContactRecord &record, const QString &oldNotes,
                             const sync::Boxes &mine, const sync::Boxes &theirs,
                             const ImportedContact &theirCard, const QByteArray &theirBytes,
                             const sync::ValueMerge &merge)
{
    ContactRecord merged = record;
    for (int i = 0; i < FieldBoxCount; ++i)
        if (merge.take[size_t(i)] == sync::Side::Phone)
            merged.setField(FieldBox(i), theirCard.record.fieldText(FieldBox(i)));
    NotesParts parts = splitNotes(oldNotes);
    if (merge.take[sync::NotesValue] == sync::Side::Phone) {
        const QString blocks = sync::conflictBlocks(mine.ownNotes);
        parts.own = sync::notesValue(theirs.ownNotes);
        if (!blocks.isEmpty())
            parts.own += (parts.own.isEmpty() ? QString() : QStringLiteral("\r\n")) + blocks;
    }
    std::array<bool, FieldBoxCount> theirBox{};
    for (int i = 0; i < FieldBoxCount; ++i)
        theirBox[size_t(i)] = merge.take[size_t(i)] == sync::Side::Phone ||
                              mine.box[size_t(i)] == theirs.box[size_t(i)];
    parts.values = sectionAfterTakingIn(oldNotes, theirCard.notes, theirBox);
    QStringList lines;
    for (int i = 0; i < FieldBoxCount; ++i)
        if (merge.conflict[size_t(i)])
            lines.append(
                importing::boxLabel(FieldBox(i)) + QStringLiteral(": ") +
                wholeValue(FieldBox(i), theirs.box[size_t(i)], theirCard.notes, theirBytes));
    if (merge.conflict[sync::NotesValue])
        lines.append(QStringLiteral("Notes: ") + sync::notesValue(theirs.ownNotes));
    return {merged, withConflictLines(joinNotes(parts.own, parts.values),
                                      QStringLiteral("changed in the card file and in the "
                                                     "address book; the card file's values were "
                                                     "kept. The address book's:"),
                                      lines)};
}

// Whether two records hold the same eleven boxes (their numbers and types aside).
bool sameBoxes(const ContactRecord &a, const ContactRecord &b)
{
    for (const FieldBox box : WindowOrder)
        if (a.fieldText(box) != b.fieldText(box))
            return false;
    return true;
}

// The notes with the UID of the address book's vCard kept in the section of values
// that have no box, so the contact is found by it even without the state file.
QString notesWithUid(const QString &notes, const QString &uid)
{
    if (uid.isEmpty() || uidsInNotes(notes).contains(uid))
        return notes;
    QString out = notes;
    if (!out.contains(importing::ImportedValuesHeading)) {
        if (!out.isEmpty())
            out += QLatin1String("\r\n");
        out += importing::ImportedValuesHeading;
    }
    return out + QStringLiteral("\r\nUID: ") + uid;
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
    std::vector<ReadCard> copies; // of a new card: the cards that duplicate it
};

} // namespace

QStringList uidsInNotes(const QString &notes)
{
    QStringList uids;
    const qsizetype section = notes.indexOf(importing::ImportedValuesHeading);
    if (section < 0)
        return uids;
    for (const QString &line :
         QStringView(notes).mid(section).toString().split(QLatin1String("\r\n")))
        if (line.startsWith(QLatin1String("UID: ")))
            uids.append(line.mid(5).trimmed());
    return uids;
}

QString vcardFileName(const QString &uid)
{
    QString name = uid + VcardExtension;
    QChar *c = name.data();
    for (qsizetype i = 0; i < uid.size(); ++i) {
        const bool safe = (c[i] >= u'a' && c[i] <= u'z') || (c[i] >= u'A' && c[i] <= u'Z') ||
                          (c[i] >= u'0' && c[i] <= u'9') || c[i] == u'-' || c[i] == u'_' ||
                          c[i] == u'.';
        if (!safe)
            c[i] = u'-';
    }
    return name;
}

namespace {

// The card file's side of a pass: the records from 1 to the count as stored, and the
// notes files' identities. Records are decoded and notes read only when needed.
class CardSide
{
public:
    void load()
    {
        // The random form's records are taken as the data file's bytes, never decoded:
        // decoding and encoding a record gives back the same bytes, and a quiet pass
        // needs no record's text.
        cardfile::CardFile file = cardfile::read({.records = cardfile::RecordText::NumberOnly,
                                                  .notes = cardfile::NotesText::Skip,
                                                  .keepBytes = true});
        count = file.recordCount;
        // The sequential form appends a saved contact at the end and may lower the count:
        // a contact is the last record holding its number, wherever that is, and a
        // lowered count hides none.
        const bool sequential = file.fileType == u'S';
        const auto numberOf = [sequential](const Contact &contact) {
            if (!sequential)
                return contact.position;
            const std::optional<int> n = contact.record.contactNumber();
            return n && *n >= 1 ? *n : contact.position;
        };
        if (sequential)
            for (const Contact &contact : file.contacts)
                count = std::max(count, numberOf(contact));
        m_records.clear();
        m_notes.clear();
        m_readAhead.reset();
        m_aheadIndex.clear();
        if (!sequential) {
            // Past the end of the file a record reads as spaces, and so as blank.
            m_data = std::move(file.dataBytes);
            m_data.truncate(qsizetype(count) * ContactRecord::Length);
            m_data.resize(qsizetype(count) * ContactRecord::Length, ' ');
            m_present.assign(size_t(count) + 1, true);
            m_present[0] = false;
            for (const int position : file.blankPositions)
                if (position <= count)
                    m_present[size_t(position)] = false;
        } else {
            m_present.assign(size_t(count) + 1, false);
            m_data = QByteArray(qsizetype(count) * ContactRecord::Length, ' ');
        }
        // The sequential form's records at their numbers, as the random form holds them.
        for (const Contact &contact : file.contacts) {
            const int n = numberOf(contact);
            if (n < 1 || n > count)
                continue;
            // Kept as bytes only: a quiet pass needs no record decoded.
            m_data.replace(qsizetype(n - 1) * ContactRecord::Length, ContactRecord::Length,
                           contact.record.toRandomBytes());
            m_present[size_t(n)] = true;
        }
        notesFiles.clear();
        m_notesNames.clear();
        notesFiles.reserve(file.notesFiles.size());
        m_notesNames.reserve(file.notesFiles.size());
        for (const cardfile::NotesFile &notes : file.notesFiles) {
            if (notes.number <= count) {
                notesFiles.insert(notes.number,
                                  identity({notes.name, notes.size, notes.mtimeNs, notes.inode}));
                m_notesNames.insert(notes.number, notes.name);
            }
        }
        m_notesBatch = 1;
    }

    QByteArrayView raw(int n) const
    {
        return QByteArrayView(m_data).sliced(qsizetype(n - 1) * ContactRecord::Length,
                                             ContactRecord::Length);
    }
    // Records nothing was written to are left out, as the export leaves them out.
    bool has(int n) const { return n >= 1 && n <= count && m_present[size_t(n)]; }
    QByteArray recordDigest(int n) const { return digest(raw(n).toByteArray()); }

    // The record as record(n) gives it, without keeping it: safe on several threads at once
    // while nothing changes the card side.
    ContactRecord decoded(int n) const
    {
        if (const auto it = m_records.constFind(n); it != m_records.cend())
            return *it;
        ContactRecord record;
        record.setFromRandomBytes(raw(n).toByteArray());
        return record;
    }
    ContactRecord record(int n)
    {
        auto it = m_records.find(n);
        if (it == m_records.end())
            it = m_records.insert(n, decoded(n));
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
        if (it == m_notes.end()) {
            readNotesFrom(n);
            it = m_notes.try_emplace(n).first; // no notes file
        }
        return it->second;
    }
    void setNotes(int n, const QString &text) { m_notes.insert_or_assign(n, text); }

    Contact contact(int n) { return {n, record(n), notes(n)}; }

    int count = 0;
    QHash<int, QByteArray> notesFiles; // notes identities by number

private:
    // The notes of n and of the next numbers not read yet, in one batch from the notes
    // folder: a pass that writes out many contacts needs them in turn. The batch grows
    // as they are asked for, so a pass with one change reads few files.
    void readNotesFrom(int n)
    {
        if (!m_notesNames.contains(n))
            return;
        if (const auto at = m_aheadIndex.constFind(n); at != m_aheadIndex.cend()) {
            std::optional<QByteArray> bytes = m_readAhead->take(*at);
            m_notes.try_emplace(n, bytes ? notes::fromFileBytes(std::move(*bytes)) : QString());
            return;
        }
        QList<int> numbers;
        QStringList names;
        const int last = std::min(count, n + 4 * m_notesBatch);
        for (int m = n; m <= last && numbers.size() < m_notesBatch; ++m) {
            const auto name = m_notesNames.constFind(m);
            if (name == m_notesNames.cend() || m_notes.count(m) > 0)
                continue;
            numbers.append(m);
            names.append(*name);
        }
        if (numbers.isEmpty())
            return;
        m_notesBatch = std::min(m_notesBatch * 2, MaxNotesBatch);
        std::vector<std::optional<QByteArray>> bytes =
            files::readBytesIfFilesIn(paths::NotesFolder, names, notes::ReadLimit + 1);
        for (qsizetype i = 0; i < numbers.size(); ++i)
            m_notes.try_emplace(
                numbers.at(i),
                bytes[size_t(i)] ? notes::fromFileBytes(std::move(*bytes[size_t(i)])) : QString());
        // A pass that has read this many reads them all (a first pass, say): the rest are
        // read ahead, beside the work on each contact.
        if (m_notesBatch == MaxNotesBatch && !m_readAhead) {
            QStringList ahead;
            for (int m = numbers.last() + 1; m <= count; ++m)
                if (const auto name = m_notesNames.constFind(m);
                    name != m_notesNames.cend() && m_notes.count(m) == 0) {
                    m_aheadIndex.insert(m, ahead.size());
                    ahead.append(*name);
                }
            m_readAhead = std::make_unique<files::FileReadAhead>(
                files::nativeFolderPath(paths::NotesFolder), ahead, notes::ReadLimit + 1);
        }
    }
    static constexpr int MaxNotesBatch = 1024;

    QByteArray m_data; // count records of the random form
    QHash<int, ContactRecord> m_records;
    // By number; a node map, so that a reference notes() gave stays good while more
    // notes are read.
    std::unordered_map<int, QString> m_notes;
    QHash<int, QString> m_notesNames; // each notes file's name as the folder spells it
    int m_notesBatch = 1;
    std::unique_ptr<files::FileReadAhead> m_readAhead;
    QHash<int, qsizetype> m_aheadIndex; // a number's place among the files read ahead
    std::vector<bool> m_present;        // by position: the record is not blank
};

} // namespace

namespace {

// A phone edit taken into the card file is announced first, one line per contact, in a
// file of its own beside the state: "t <n> <record> <notes> <file> <name>", the
// digests the record and notes will have and the vCard's. A pass cut short after the
// store wrote the record, before the state said so, is then finished by the next pass:
// it knows the record as the vCard's, not as a change made in the card file.
QByteArray takeInIntent(int n, const QByteArray &record, const QByteArray &notes,
                        const QByteArray &file, const QString &name)
{
    return "t " + QByteArray::number(n) + ' ' + record + ' ' + notes + ' ' + file + ' ' +
           QUrl::toPercentEncoding(name) + '\n';
}

void applyTakeInIntents(State &state, CardSide &card, const QByteArray &intents)
{
    for (const QByteArray &line : intents.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        bool ok = false;
        const int n = f.size() == 6 && f.at(0) == "t" ? f.at(1).toInt(&ok) : 0;
        const auto last = state.contacts.find(n);
        if (!ok || last == state.contacts.end() || !card.has(n) ||
            card.recordDigest(n) != f.at(2) || notesDigest(card.notes(n)) != f.at(3))
            continue; // not carried out: the pass does it again
        last->record = f.at(2);
        last->notes = f.at(3);
        last->notesId = card.notesFiles.value(n, QByteArrayLiteral("-"));
        last->file = f.at(4);
        last->fileName = QString::fromUtf8(QByteArray::fromPercentEncoding(f.at(5)));
        last->fileId.clear(); // read again
        last->base.clear();   // the record's values, taken from it at the next pass
        last->whole.clear();
    }
}

// The vCards a pass creates are announced first, one line each: "w <name> <digest>".
// They are written under their own names, with no temporary file, so a pass cut short
// may leave one cut off, or whole but named by no state; the next pass knows it by this
// line (written: the digest of the bytes).
QByteArray createIntent(const QString &name, const QByteArray &written)
{
    return "w " + QUrl::toPercentEncoding(name) + ' ' + written + '\n';
}

// Name -> digest of the bytes the pass wrote (empty in lines of older passes).
QHash<QString, QByteArray> createdInIntents(const QByteArray &intents)
{
    QHash<QString, QByteArray> created;
    for (const QByteArray &line : intents.split('\n')) {
        if (!line.startsWith("w ") || line.size() <= 2)
            continue;
        const QList<QByteArray> fields = line.mid(2).split(' ');
        created.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(fields[0])),
                       fields.size() > 1 ? fields[1] : QByteArray());
    }
    return created;
}

// A vCard the pass replaces is announced too: "r <name> <digest written> <digest
// replaced>". A pass killed between putting its version in place and comparing the one
// it displaced leaves that one under a temporary name: the next pass tells by these
// digests whether it is the version the pass read, or another program's written since.
QByteArray replaceIntent(const QString &name, const QByteArray &written, const QByteArray &replaced)
{
    return "r " + QUrl::toPercentEncoding(name) + ' ' + digest(written) + ' ' + digest(replaced) +
           '\n';
}

struct Replaced
{
    QByteArray written;
    QByteArray replaced;
};

QHash<QString, Replaced> replacedInIntents(const QByteArray &intents)
{
    QHash<QString, Replaced> replaced;
    for (const QByteArray &line : intents.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 4 && fields[0] == "r")
            replaced.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(fields[1])),
                            {fields[2], fields[3]});
    }
    return replaced;
}

// A pairing the card file no longer holds: the contact's number is gone (the card
// file was put back from an older copy), or the contact came from the address book and
// the record now under its number is another one (its notes no longer keep the card's
// UID and its whole name is not the card's). The vCard is then a stranger's again and is
// taken in as one, never written over with another contact's values. Only a changed
// record is looked at, so a quiet pass reads nothing more.
// A contact made in the card file is another one than its vCard holds when the record
// changed and shares neither the whole name, nor the company or street, nor a phone or
// e-mail with it: its number was given again after the card file was put back from an
// older copy. A rename keeps the rest, an edit of the rest keeps the name. A phone or
// e-mail counts whole: two numbers cut to the same box are not one.
bool anotherContact(const ContactRecord &record, const QString &notes, const ContactRecord &card,
                    const QString &cardNotes)
{
    if (nameKey(record) == nameKey(card) || isBlank(record))
        return false;
    for (const FieldBox box : {FieldBox::Company, FieldBox::Address}) {
        const QString value = trimmed(record.fieldText(box));
        if (!value.isEmpty() && value == trimmed(card.fieldText(box)))
            return false;
    }
    const std::array<FieldBox, 4> points{FieldBox::HomePhone, FieldBox::WorkPhone,
                                         FieldBox::PagerMobile, FieldBox::FaxOrEmail};
    const sync::Boxes ours = sync::wholeBoxesOf(record, notes);
    const sync::Boxes theirs = sync::wholeBoxesOf(card, cardNotes);
    for (const FieldBox a : points)
        for (const FieldBox b : points) {
            const QString value = ours.box[size_t(a)].trimmed();
            if (!value.isEmpty() && value == theirs.box[size_t(b)].trimmed())
                return false;
        }
    return true;
}

// Returns, for each vCard dropped so, the names of its contact's second vCards: they
// come in with it, as its copies, not as contacts of their own. strangers: the vCards of
// ours whose number now names another contact, taken in as new contacts.
QHash<QString, QStringList> dropStalePairings(State &state, CardSide &card,
                                              const QString &nativeFolder, QSet<QString> &strangers)
{
    QHash<QString, QStringList> copiesOf;
    for (auto it = state.contacts.begin(); it != state.contacts.end();) {
        const int n = it.key();
        bool stale = !card.has(n);
        if (!stale && it->foreignUid.isEmpty() && card.recordDigest(n) != it->record) {
            try {
                const ReadResult read =
                    readVCards(files::readNativeFile(joinedPath(nativeFolder, it->fileName)));
                if (read.ok() && read.contacts.size() == 1 &&
                    anotherContact(card.record(n), card.notes(n), read.contacts.first().record,
                                   read.contacts.first().notes)) {
                    stale = true;
                    strangers.insert(it->fileName);
                }
            } catch (const platform::FileError &) {
                // Gone or unreadable: the pass deals with the file as it finds it.
            }
        }
        if (!stale && !it->foreignUid.isEmpty() &&
            (card.recordDigest(n) != it->record ||
             card.notesFiles.value(n, QByteArrayLiteral("-")) != it->notesId) &&
            !uidsInNotes(card.notes(n)).contains(it->foreignUid, Qt::CaseInsensitive)) {
            try {
                const ReadResult read =
                    readVCards(files::readNativeFile(joinedPath(nativeFolder, it->fileName)));
                stale = read.ok() && read.contacts.size() == 1 &&
                        nameKey(read.contacts.first().record) != nameKey(card.record(n));
            } catch (const platform::FileError &) {
                // Gone or unreadable: the pass deals with the file as it finds it.
            }
        }
        if (stale)
            for (const LinkedCard &link : state.links.take(n))
                copiesOf[it->fileName].append(link.fileName);
        it = stale ? state.contacts.erase(it) : std::next(it);
    }
    return copiesOf;
}

} // namespace

SyncReport syncVdir(const QString &nativeFolder)
{
    const auto lock = lockDataFolder();
    finishCutShortSave();
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
    const QString intentPath = joinedPath(nativeFolder, QLatin1String(SyncIntentFileName));
    QByteArray intents; // this pass's, or those of a pass cut short
    QByteArray oldStateBytes;
    State state;
    bool firstPass = true;
    QList<files::NativeEntry> entries = files::listNativeEntries(nativeFolder);
    for (const files::NativeEntry &entry : entries)
        if (entry.name == QLatin1String(SyncIntentFileName))
            intents = files::readNativeFile(intentPath);
    // A vCard a pass cut short was creating under its own name goes, and is written again
    // from the record as it stands now, when it does not read as one whole vCard (cut off
    // while written) or still holds exactly what that pass wrote (no one has changed it
    // since, and no state remembers it). One changed since is the phone's, and stays.
    if (const QHash<QString, QByteArray> created = createdInIntents(intents); !created.isEmpty())
        entries.removeIf([&](const files::NativeEntry &entry) {
            const auto wrote = created.constFind(entry.name);
            if (wrote == created.cend())
                return false;
            const QString path = joinedPath(nativeFolder, entry.name);
            try {
                const QByteArray bytes = files::readNativeFile(path);
                const ReadResult read = readVCards(bytes);
                if (read.ok() && read.contacts.size() == 1 &&
                    (wrote->isEmpty() || digest(bytes) != *wrote))
                    return false;
            } catch (const platform::FileError &) {
                return false; // the pass deals with the file as it finds it
            }
            files::deleteNativeFile(path);
            return true;
        });
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

    // Temporary files of a pass that was killed: only our own (".<file>.tmp-XXXXXX" of a
    // vCard or of the state file), never another program's. One that holds a version of
    // a vCard another program wrote while that pass replaced it goes back in its place
    // (the pass then finds the file changed, and merges).
    const QHash<QString, Replaced> replaced = replacedInIntents(intents);
    bool putBack = false;
    for (const files::NativeEntry &entry : entries) {
        static const QRegularExpression Temporary(
            QStringLiteral("^\\.(.+\\.vcf|\\.cardomine-sync-(state|intent))\\.tmp-[A-Za-z0-9]{6}$"),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = Temporary.match(entry.name);
        if (!match.hasMatch())
            continue;
        const QString path = joinedPath(nativeFolder, entry.name);
        if (const auto r = replaced.constFind(match.captured(1)); r != replaced.cend()) {
            const QString target = joinedPath(nativeFolder, match.captured(1));
            const QByteArray held = digest(files::readNativeFile(path));
            std::optional<QByteArray> inPlace;
            try {
                inPlace = digest(files::readNativeFile(target));
            } catch (const platform::FileError &) {
            }
            if (held != r->written && held != r->replaced && inPlace == r->written) {
                files::moveNativeFile(path, target);
                report.lines.append(QStringLiteral("%1: another program's version, written while "
                                                   "a pass cut short replaced it, was put back")
                                        .arg(target));
                putBack = true;
                continue;
            }
        }
        files::deleteNativeFile(path);
    }
    if (putBack)
        entries = files::listNativeEntries(nativeFolder);

    // Phone contacts a pass cut short appended before its state could say so: the record
    // at the number named holds the card's UID in its notes. Known from now on as the
    // version appended, so a phone edit made since is taken in like any other.
    for (auto it = state.pending.begin(); it != state.pending.end();) {
        const int n = it->number;
        if (it->uid.isEmpty() || state.contacts.contains(n) || !card.has(n) ||
            !uidsInNotes(card.notes(n)).contains(it->uid)) {
            ++it;
            continue;
        }
        // A change the card file made since the append is no version appended: the
        // values appended, read back from the vCard as it was then, are the last pass's,
        // and the record counts as changed.
        QByteArray record = card.recordDigest(n);
        QByteArray base;
        try {
            const QByteArray bytes = files::readNativeFile(joinedPath(nativeFolder, it.key()));
            const ReadResult read = readVCards(bytes);
            if (digest(bytes) == it->file && read.ok() && read.contacts.size() == 1) {
                const sync::Boxes appended =
                    sync::boxesOf(read.contacts.first().record, read.contacts.first().notes);
                base = sync::baseText(sync::baseOf(appended));
                if (appended != sync::boxesOf(card.record(n), card.notes(n)))
                    record = QByteArrayLiteral("-");
            }
        } catch (const platform::FileError &) {
            // Gone or unreadable: the pass deals with the file as it finds it.
        }
        state.contacts.insert(n, {record, notesDigest(card.notes(n)),
                                  card.notesFiles.value(n, QByteArrayLiteral("-")), it.key(),
                                  it->file, QByteArray(), it->uid, base, QByteArray()});
        report.lines.append(
            QStringLiteral("Added %1 from %2").arg(describe(card.contact(n)), it.key()));
        ++report.added;
        it = state.pending.erase(it);
    }
    if (!firstPass)
        applyTakeInIntents(state, card, intents);
    QSet<QString> strangers; // vCards of ours whose number names another contact now
    QHash<QString, QStringList> copiesOfDropped =
        dropStalePairings(state, card, nativeFolder, strangers);
    // A card whose append was cut short and undone brings its copies again.
    for (auto it = state.pending.cbegin(); it != state.pending.cend(); ++it)
        copiesOfDropped[it.key()] += it->copies;
    const bool hadIntents = !intents.isEmpty();
    intents.clear();

    // The vCard files: those the last pass left untouched are known without reading.
    QHash<QString, int> stateFiles;  // file name -> contact number
    QHash<QString, int> foreignUids; // address book UIDs (lower case) -> contact number
    stateFiles.reserve(state.contacts.size());
    for (auto it = state.contacts.cbegin(); it != state.contacts.cend(); ++it) {
        stateFiles.insert(it->fileName, it.key());
        if (!it->foreignUid.isEmpty())
            foreignUids.insert(it->foreignUid.toLower(), it.key());
    }
    QHash<QString, int> linkFiles; // second vCards' names -> contact number
    for (auto it = state.links.cbegin(); it != state.links.cend(); ++it)
        for (const LinkedCard &l : *it)
            linkFiles.insert(l.fileName, it.key());
    std::optional<UidLookup> lookup;
    // Our UID for this card file, in our urn:uuid form only: a bare number is no UID of
    // ours (older exports wrote them, and so may anyone else).
    const auto ourNumber = [&](const QString &uid) -> std::optional<int> {
        if (!uid.trimmed().startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
            return std::nullopt;
        if (!lookup)
            lookup.emplace(cardFile, card.count);
        return lookup->contactNumber(uid);
    };
    QMap<int, QList<ReadCard>> ours;               // changed or unknown files by contact number
    QHash<int, files::NativeEntry> steady;         // unchanged files by contact number
    QList<ReadCard> foreign;                       // vCards new to the card file
    QMap<int, ReadCard> alreadyImported;           // foreign files appended by a pass cut short
    QSet<int> unreadable;                          // contacts whose vCard cannot be read this pass
    QSet<QString> leftAlone;                       // the names of the files left as they are
    QHash<QString, files::NativeEntry> linkSteady; // second vCards unchanged, by name
    QHash<QString, ReadCard> linkRead;             // second vCards changed, by name
    QMap<int, QList<ReadCard>> newLinks;           // cards linked to a contact this pass
    QHash<QString, QByteArray> linkBase;           // their record's values when linked, by name
    const auto leaveAlone = [&](const QString &path, const QString &problem, const QString &name) {
        report.lines.append(QStringLiteral("%1: %2; left as it is").arg(path, problem));
        ++report.leftAlone;
        leftAlone.insert(name);
        if (const auto known = stateFiles.constFind(name); known != stateFiles.cend())
            unreadable.insert(*known);
    };
    steady.reserve(stateFiles.size());
    for (const files::NativeEntry &entry : entries) {
        if (!entry.name.endsWith(VcardExtension, Qt::CaseInsensitive) ||
            entry.name.startsWith(QLatin1Char('.')))
            continue;
        if (entry.name.contains(QChar::ReplacementCharacter)) {
            leaveAlone(joinedPath(nativeFolder, entry.name),
                       QStringLiteral("the file name is not UTF-8"), entry.name);
            continue;
        }
        if (const auto known = stateFiles.constFind(entry.name); known != stateFiles.cend()) {
            const auto last = state.contacts.constFind(*known);
            if (*known <= card.count && last != state.contacts.cend() &&
                sameIdentity(last->fileId, entry)) {
                steady.insert(*known, entry);
                continue;
            }
        }
        const auto link = linkFiles.constFind(entry.name);
        if (link != linkFiles.cend() && *link <= card.count) {
            const QList<LinkedCard> &known = state.links[*link];
            const auto l = std::find_if(known.cbegin(), known.cend(), [&](const LinkedCard &c) {
                return c.fileName == entry.name;
            });
            if (sameIdentity(l->fileId, entry)) {
                linkSteady.insert(entry.name, entry);
                continue;
            }
        }
        const QString path = joinedPath(nativeFolder, entry.name);
        ReadCard read;
        read.entry = entry;
        try {
            read.bytes = files::readNativeFile(path);
        } catch (const platform::FileError &error) {
            leaveAlone(path, error.reason(), entry.name);
            continue;
        }
        read.digest = digest(read.bytes);
        const ReadResult parsed = readVCards(read.bytes);
        if (!parsed.ok()) {
            leaveAlone(path, QStringLiteral("line %1: %2").arg(parsed.errorLine).arg(parsed.error),
                       entry.name);
            continue;
        }
        if (parsed.contacts.size() != 1) {
            leaveAlone(path,
                       QStringLiteral("the file holds %1 vCards, where a vdir holds one per file")
                           .arg(parsed.contacts.size()),
                       entry.name);
            continue;
        }
        read.card = parsed.contacts.first();
        if (link != linkFiles.cend() && *link <= card.count) {
            linkRead.insert(entry.name, read);
            continue;
        }
        // A UID the state names for a contact first: a card of ours taken in as another
        // contact's after a restore from a backup keeps a UID of our form for a number
        // that now names someone else.
        std::optional<int> n;
        if (const auto f = foreignUids.constFind(read.card.uid.toLower());
            !read.card.uid.isEmpty() && f != foreignUids.cend())
            n = *f;
        if (!n && !strangers.contains(entry.name))
            n = ourNumber(read.card.uid);
        // Without the state's word, a card of ours that holds another contact than its
        // number names now is a stranger too: it is never merged into that contact.
        if (n && !state.contacts.contains(*n) && card.has(*n) &&
            anotherContact(card.record(*n), card.notes(*n), read.card.record, read.card.notes)) {
            strangers.insert(entry.name);
            n.reset();
        }
        if (!n && read.card.uid.isEmpty())
            if (const auto f = stateFiles.constFind(entry.name); f != stateFiles.cend())
                n = *f;
        if (n) {
            ours[*n].append(read);
            continue;
        }
        // Appended by a pass cut short before it could say so: only when the record at
        // the number it was to get is this card's, since a number is no promise until the
        // append is durable.
        const auto pending = state.pending.constFind(entry.name);
        if (pending != state.pending.cend() && pending->file == read.digest &&
            card.has(pending->number) && !alreadyImported.contains(pending->number) &&
            sameBoxes(card.record(pending->number), read.card.record)) {
            alreadyImported.insert(pending->number, read);
            continue;
        }
        read.card.notes = notesWithUid(read.card.notes, read.card.uid); // as import keeps it
        foreign.append(read);
    }
    // For a contact the state does not know (it was lost, or a pass cut short wrote only
    // part of it) an address book's vCard is still found by the UID its notes keep.
    if (!foreign.isEmpty()) {
        QHash<QString, int> kept;
        for (int n = 1; n <= card.count; ++n)
            if (card.has(n) && card.notesFiles.contains(n) && !state.contacts.contains(n))
                for (const QString &uid : uidsInNotes(card.notes(n)))
                    kept.insert(uid.toLower(), n);
        if (!kept.isEmpty()) {
            QList<ReadCard> stillForeign;
            for (const ReadCard &read : std::as_const(foreign)) {
                if (const auto f = kept.constFind(read.card.uid.toLower());
                    !read.card.uid.isEmpty() && f != kept.cend())
                    ours[*f].append(read);
                else
                    stillForeign.append(read);
            }
            foreign = stillForeign;
        }
    }

    // Versions vdirsyncer set aside when a contact changed on both of its sides (see the
    // README's conflict_resolution command): their differing values go into the notes.
    // A link there is refused: the pass deletes what it took in from that folder.
    const QString conflictFolder = joinedPath(nativeFolder, QLatin1String(SyncConflictFolderName));
    QMap<int, QList<ReadCard>> setAside;
    QMap<QString, QByteArray> setAsideDone; // path -> the bytes taken in
    QList<files::NativeEntry> setAsideEntries;
    if (const std::optional<files::NativeItem> item =
            files::nativeItem(nativeFolder, QLatin1String(SyncConflictFolderName))) {
        if (item->kind == files::NativeKind::Folder)
            setAsideEntries = files::listNativeEntries(conflictFolder);
        else
            report.lines.append(QStringLiteral("%1 is not a folder (a link?); left as it is and "
                                               "not read")
                                    .arg(conflictFolder));
    }
    for (const files::NativeEntry &entry : std::as_const(setAsideEntries)) {
        if (!entry.name.endsWith(VcardExtension, Qt::CaseInsensitive))
            continue;
        const QString path = joinedPath(conflictFolder, entry.name);
        ReadCard read;
        read.entry = entry;
        read.bytes = files::readNativeFile(path);
        const ReadResult parsed = readVCards(read.bytes);
        if (!parsed.ok() || parsed.contacts.size() != 1) {
            report.lines.append(
                QStringLiteral("%1: line %2: %3; left as it is")
                    .arg(path)
                    .arg(parsed.errorLine)
                    .arg(parsed.ok() ? QStringLiteral("not one vCard") : parsed.error));
            continue;
        }
        read.card = parsed.contacts.first();
        std::optional<int> n = ourNumber(read.card.uid);
        if (!n)
            n = foreignUids.value(read.card.uid.toLower(), 0);
        if (*n > 0 && card.has(*n)) {
            setAside[*n].append(read);
            setAsideDone.insert(path, read.bytes);
        } else {
            report.lines.append(
                QStringLiteral("%1 belongs to no contact of the card file; left in place")
                    .arg(path));
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
    // The second vCards of a contact the card file no longer holds come with its vCard.
    if (!copiesOfDropped.isEmpty()) {
        QHash<QString, qsizetype> at;
        for (qsizetype i = 0; i < foreign.size(); ++i)
            at.insert(foreign.at(i).entry.name, i);
        QSet<QString> attached;
        for (auto it = copiesOfDropped.cbegin(); it != copiesOfDropped.cend(); ++it) {
            const auto primary = at.constFind(it.key());
            if (primary == at.cend())
                continue;
            for (const QString &name : *it)
                if (const auto copy = at.constFind(name); copy != at.cend()) {
                    foreign[*primary].copies.push_back(foreign.at(*copy));
                    attached.insert(name);
                }
        }
        foreign.removeIf(
            [&attached](const ReadCard &read) { return attached.contains(read.entry.name); });
    }
    if (!foreign.isEmpty()) {
        Duplicates known;
        for (int n = 1; n <= card.count; ++n)
            if (card.has(n))
                known.add(ContactValues(card.record(n), card.notes(n)), n);
        // A copy the phone made of a contact's vCard is that contact's also when the two
        // sides have changed its name since: its vCard as the folder holds it counts too,
        // read for the contacts changed on either side.
        for (auto it = ours.cbegin(); it != ours.cend(); ++it)
            if (card.has(it.key()))
                for (const ReadCard &read : *it)
                    known.add(ContactValues(read.card.record, read.card.notes), it.key());
        for (auto it = steady.cbegin(); it != steady.cend(); ++it) {
            const auto last = state.contacts.constFind(it.key());
            if (!card.has(it.key()) || last == state.contacts.cend() ||
                last->record == card.recordDigest(it.key()))
                continue;
            try {
                const ReadResult read =
                    readVCards(files::readNativeFile(joinedPath(nativeFolder, it->name)));
                if (read.ok() && read.contacts.size() == 1)
                    known.add(
                        ContactValues(read.contacts.first().record, read.contacts.first().notes),
                        it.key());
            } catch (const platform::FileError &) {
                // The pass deals with the file as it finds it.
            }
        }
        // A copy made before both sides changed the name: the last pass's values name it.
        sync::LastPassValues lastLeft;
        if (!firstPass)
            for (auto it = ours.cbegin(); it != ours.cend(); ++it)
                if (const auto last = state.contacts.constFind(it.key());
                    card.has(it.key()) && last != state.contacts.cend())
                    if (const std::optional<sync::BaseValues> base = sync::parseBase(last->base))
                        lastLeft.add(*base, it.key());
        QList<ReadCard> fresh;
        bool merged = false;
        for (const ReadCard &read : std::as_const(foreign)) {
            const ContactValues values(read.card.record, read.card.notes);
            std::optional<Duplicates::Found> found = known.find(values);
            if (!found)
                if (const std::optional<int> n =
                        lastLeft.find(sync::boxesOf(read.card.record, read.card.notes)))
                    found = Duplicates::Found{
                        QStringLiteral("a copy of what the last pass left of"), *n};
            if (found) {
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
                ++report.duplicates;
                if (!fitsNotesLimit(notes)) {
                    report.lines.append(QStringLiteral("Not added, %1 %2: %3 (%4); its values "
                                                       "would pass the notes limit")
                                            .arg(found->what, holder, read.card.name, path));
                    continue;
                }
                // What it brings goes into the notes, its UID with it, and the card stays
                // in the folder as a second vCard of the contact, kept in step with it:
                // deleting it loses nothing, keeping it loses nothing either.
                if (!added.isEmpty()) {
                    if (h > 0) {
                        notes::write(h, notes);
                        cardWritten = true;
                        merged = true;
                    } else {
                        fresh[-1 - h].card.notes = notes;
                    }
                    known.add(ContactValues(holderRecord, notes), h);
                }
                if (h > 0) {
                    // A copy of the contact's vCard as the last pass left it: what the card
                    // file changed since goes out to it as to that vCard.
                    const auto last = state.contacts.constFind(h);
                    const QByteArray base =
                        !firstPass && last != state.contacts.cend() && !last->base.isEmpty()
                            ? last->base
                            : sync::baseText(sync::baseOf(sync::boxesOf(holderRecord, notes)));
                    newLinks[h].append(read);
                    linkBase.insert(read.entry.name, base);
                    // The second vCards it came with (of a contact the card file no longer
                    // holds) follow it.
                    for (const ReadCard &copy : read.copies) {
                        newLinks[h].append(copy);
                        linkBase.insert(copy.entry.name, base);
                    }
                } else {
                    std::vector<ReadCard> &copies = fresh[-1 - h].copies;
                    copies.push_back(read);
                    copies.insert(copies.end(), read.copies.cbegin(), read.copies.cend());
                }
                report.lines.append(
                    QStringLiteral("Not added, %1 %2: %3 (%4); %5kept as a second vCard of the "
                                   "contact, in step with it")
                        .arg(found->what, holder, read.card.name, path,
                             added.isEmpty()
                                 ? QString()
                                 : QStringLiteral("merged into %1: %2 values; ")
                                       .arg(h > 0 ? QStringLiteral("contact %1").arg(h) : holder)
                                       .arg(added.size())));
                continue;
            }
            known.add(values, int(-1 - fresh.size()));
            fresh.append(read);
        }
        foreign = fresh;
        if (merged)
            card.load();
    }
    // A card whose values would make a notes file past the notes limit (a huge photo,
    // say) is named at every pass and left where it is; the others are added.
    {
        QList<ReadCard> fitting;
        for (const ReadCard &read : std::as_const(foreign)) {
            const qint64 bytes = notes::fileBytes(notesWithUid(read.card.notes, read.card.uid));
            if (bytes <= notes::FileLimit) {
                fitting.append(read);
                continue;
            }
            leaveAlone(joinedPath(nativeFolder, read.entry.name),
                       QStringLiteral("not added, its values come to %1 bytes of notes, past "
                                      "the notes limit of %2 bytes")
                           .arg(bytes)
                           .arg(notes::FileLimit),
                       read.entry.name);
        }
        foreign = fitting;
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
            QStringList copies;
            for (const ReadCard &copy : foreign.at(i).copies)
                copies.append(copy.entry.name);
            announced.pending.insert(
                foreign.at(i).entry.name,
                {foreign.at(i).digest, card.count + int(i) + 1, foreign.at(i).card.uid, copies});
            // The photo files its notes name come along.
            QList<photos::NewFile> photoFiles;
            for (const KeptBinary &binary : foreign.at(i).card.binaries)
                photoFiles.append({0, binary.name, binary.bytes});
            batch.append({foreign.at(i).card.record, foreign.at(i).card.notes, photoFiles});
        }
        files::replaceNativeFile(statePath, stateBytes(announced, canonicalName));
        report.stateWritten = true;
        const QList<int> numbers = store::appendContacts(batch);
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            alreadyImported.insert(numbers.at(i), foreign.at(i));
            const ReadCard &added = foreign.at(i);
            for (const ReadCard &copy : added.copies) {
                newLinks[numbers.at(i)].append(copy);
                linkBase.insert(copy.entry.name, sync::baseText(sync::baseOf(sync::boxesOf(
                                                     added.card.record, added.card.notes))));
            }
        }
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

    // Each contact: what its record and its vCard say against the last pass, the plan
    // for it, and the plan carried out. The vCard files are written as one batch with one
    // flush, as import writes its notes; a pass killed before they are in place leaves
    // only temporary files, which the next pass removes.
    files::PreparedReplacements vcards;
    // Contacts whose vCard is new (none in the folder when the pass listed it), written
    // after the others, with the state each will have.
    struct NewCard
    {
        int n = 0;
        ContactState now;
        QString uid; // when not the contact's own (contactUid): a UID of its own
    };
    std::vector<NewCard> newCards;
    // The new vCards are built and their files begun in parts: once many wait, and at the
    // end. The files are created while the pass goes on, each announced first so that a
    // pass cut short is finished by the next one. Each is created under its own name and
    // never over a file: no temporary file, no rename, no flush of its own; all are flushed
    // once, before the state names any of them.
    const std::size_t newCardsAtOnce = std::size_t(std::max(256, card.count / 8));
    std::size_t newCardsBegun = 0;
    QStringList newNames;
    std::vector<QByteArray> newDigests;
    const auto beginNewCards = [&] {
        const std::size_t from = newCardsBegun;
        const std::size_t count = newCards.size() - from;
        if (count == 0)
            return;
        // The notes are read here, as the card file caches them; the vCards are then
        // built on two threads, except those that read the photos folder.
        std::vector<Contact> contacts(count);
        QStringList names;
        for (std::size_t i = 0; i < count; ++i) {
            const NewCard &c = newCards[from + i];
            contacts[i].position = c.n;
            contacts[i].notes = card.notes(c.n);
            names.append(c.uid.isEmpty() ? canonicalName(c.n) : vcardFileName(c.uid));
        }
        std::vector<QByteArray> cards(count);
        newDigests.resize(from + count);
        std::vector<char> readsPhotos(count, false);
        const auto build = [&](std::size_t i, const WholeContact &whole) {
            NewCard &c = newCards[from + i];
            const Contact &contact = contacts[i];
            cards[i] =
                vcardFor(contact, c.uid.isEmpty() ? contactUid(cardFile, c.n) : c.uid, whole);
            const sync::Boxes boxes = sync::boxesOf(contact.record, contact.notes);
            c.now.base = sync::baseText(sync::baseOf(boxes));
            c.now.whole = wholeText(sync::wholeBoxesOf(boxes, whole), c.now.base);
            newDigests[from + i] = digest(cards[i]);
        };
        platform::onTwoThreads(count, [&](std::size_t i) {
            contacts[i].record = card.decoded(contacts[i].position);
            const WholeContact whole = wholeContact(contacts[i].record, contacts[i].notes);
            if (readsPhotosFolder(whole))
                readsPhotos[i] = true;
            else
                build(i, whole);
        });
        for (std::size_t i = 0; i < count; ++i) {
            if (readsPhotos[i])
                build(i, wholeContact(contacts[i].record, contacts[i].notes));
            intents += createIntent(names.at(qsizetype(i)), newDigests[from + i]);
        }
        files::replaceNativeFile(intentPath, intents);
        vcards.beginNewNatives(nativeFolder, names, std::move(cards));
        newNames += names;
        newCardsBegun = newCards.size();
    };
    QByteArray replaceIntents; // the vCards replaced, announced before they are
    // Second vCards written: their contact, and how the last pass left them (none for one
    // linked in this pass).
    QHash<QString, std::pair<int, std::optional<LinkedCard>>> linkWrites;
    const QString changedMeanwhile =
        QStringLiteral("%1: changed by another program during the pass; left as it is, the "
                       "next pass takes it in");
    for (int n = 1; n <= card.count; ++n) {
        if (newCards.size() - newCardsBegun >= newCardsAtOnce)
            beginNewCards();
        if (!card.has(n))
            continue;
        const QString canonical = canonicalName(n);
        const auto last = state.contacts.constFind(n);
        const bool known = !firstPass && last != state.contacts.cend();
        const QByteArray notesId = card.notesFiles.value(n, QByteArrayLiteral("-"));
        // The state for this contact as the card file holds it now.
        ContactState now;
        now.record = card.recordDigest(n);
        now.notesId = notesId;
        now.notes = known && last->notesId == notesId ? last->notes : notesDigest(card.notes(n));
        if (known)
            now.foreignUid = last->foreignUid;
        bool recordChanged = !known || last->record != now.record || last->notes != now.notes;
        // The record and its notes into the card file, for a change that came from the
        // vCard `fileName`. A refusal of the store is reported and that vCard left alone.
        const auto storeRecord = [&](const ContactRecord &values, const QString &notes,
                                     const QString &fileName) {
            try {
                store::replaceContact(n, values, notes);
            } catch (const DataError &error) {
                leaveAlone(joinedPath(nativeFolder, fileName), error.message(), fileName);
                return false;
            }
            cardWritten = true;
            card.setRecord(n, values);
            card.setNotes(n, notes);
            now.record = card.recordDigest(n);
            now.notes = notesDigest(notes);
            now.notesId.clear(); // filled in from the notes folder below
            return true;
        };
        if (const auto kept = setAside.constFind(n); kept != setAside.cend()) {
            const ContactRecord record = card.record(n);
            QString notes = card.notes(n);
            for (const ReadCard &version : *kept)
                notes =
                    conflictNotes(notes, sync::boxesOf(version.card.record, version.card.notes),
                                  sync::boxesOf(record, notes), version.card.notes, version.bytes);
            try {
                store::replaceContact(n, record, notes);
            } catch (const DataError &error) {
                report.lines.append(QStringLiteral("%1: %2; the set-aside version is left as it "
                                                   "is")
                                        .arg(describe(card.contact(n)), error.message()));
                for (const ReadCard &version : *kept)
                    setAsideDone.remove(joinedPath(conflictFolder, version.entry.name));
                if (known)
                    next.contacts.insert(n, *last);
                next.links.insert(n, state.links.value(n));
                continue;
            }
            cardWritten = true;
            card.setNotes(n, notes);
            now.notes = notesDigest(notes);
            now.notesId.clear();
            recordChanged = true;
            report.lines.append(QStringLiteral("Conflict on %1: changed on both sides of "
                                               "vdirsyncer; the card file's version was kept, "
                                               "the other version's values are in the contact's "
                                               "notes")
                                    .arg(describe(card.contact(n))));
            ++report.conflicts;
        }

        // The contact's second vCards, as the last pass left them and as linked now. Their
        // changes come into the record first, so that the contact's own vCard and each of
        // them get the record as it ends up in this pass.
        struct Link
        {
            LinkedCard last;
            const ReadCard *read = nullptr; // changed, or linked now: read in this pass
            files::NativeEntry entry;
            bool linkedNow = false;
            bool kept = false; // left as it is: the last pass's view of it stays
        };
        std::vector<Link> links;
        if (const auto was = state.links.constFind(n); was != state.links.cend()) {
            for (const LinkedCard &l : *was) {
                if (const auto r = linkRead.constFind(l.fileName); r != linkRead.cend()) {
                    links.push_back({l, &*r, r->entry});
                } else if (const auto e = linkSteady.constFind(l.fileName);
                           e != linkSteady.cend()) {
                    links.push_back({l, nullptr, *e});
                } else if (leftAlone.contains(l.fileName)) {
                    next.links[n].append(l);
                } else {
                    report.lines.append(
                        QStringLiteral("%1, a second vCard of %2, was deleted "
                                       "from the folder; the contact keeps its "
                                       "values")
                            .arg(joinedPath(nativeFolder, l.fileName), describe(card.contact(n))));
                }
            }
        }
        const auto linkNow = [&](const ReadCard &read, const QByteArray &recordBase) {
            links.push_back(
                {{read.entry.name, read.digest, identity(read.entry), recordBase,
                  sync::baseText(sync::baseOf(sync::boxesOf(read.card.record, read.card.notes)))},
                 &read,
                 read.entry,
                 true});
        };
        if (const auto fresh = newLinks.constFind(n); fresh != newLinks.cend())
            for (const ReadCard &read : *fresh)
                linkNow(read, linkBase.value(read.entry.name));
        for (Link &l : links) {
            if (!l.read || l.linkedNow)
                continue;
            const std::optional<sync::BaseValues> recordBase = sync::parseBase(l.last.recordBase);
            const std::optional<sync::BaseValues> fileBase = sync::parseBase(l.last.fileBase);
            const ContactRecord record = card.record(n);
            const QString oldNotes = card.notes(n);
            const sync::Boxes mine = sync::boxesOf(record, oldNotes);
            const sync::Boxes theirs = sync::boxesOf(l.read->card.record, l.read->card.notes);
            const sync::ValueMerge merge =
                sync::mergeValues(recordBase.value_or(sync::BaseValues{}),
                                  fileBase.value_or(sync::BaseValues{}), mine, theirs);
            if (!merge.anyFromPhone() && !merge.anyConflict())
                continue;
            const auto [merged, notes] =
                mergedFromCard(record, oldNotes, mine, theirs, l.read->card, l.read->bytes, merge);
            if (!(merged == record) || notes != oldNotes) {
                if (!storeRecord(merged, notes, l.entry.name)) {
                    l.kept = true;
                    next.links[n].append(l.last);
                    continue;
                }
                recordChanged = true;
            }
            if (merge.anyConflict()) {
                report.lines.append(QStringLiteral("Conflict on %1: values changed in the card "
                                                   "file and in %2; the card file's were kept, "
                                                   "the other values are in the contact's notes")
                                        .arg(describe(card.contact(n)), l.entry.name));
                ++report.conflicts;
            } else {
                report.lines.append(QStringLiteral("Updated %1 from %2")
                                        .arg(describe(card.contact(n)), l.entry.name));
                ++report.updated;
            }
        }

        // Copies of its UID under other names are named at each pass, never taken in.
        const auto reportSecondCopy = [&](const QString &copy, const QString &own) {
            report.lines.append(
                QStringLiteral("%1 is a second vCard of %2 (%3 is its own); left "
                               "as it is and not read")
                    .arg(joinedPath(nativeFolder, copy), describe(card.contact(n)), own));
        };
        // Another card found for the contact: one of another UID its notes keep was linked
        // to it by a pass cut short before its state could say so, or whose state was
        // lost, and is linked again; a copy of its own UID is named.
        const auto secondCard = [&](const ReadCard &candidate, const QString &ownUid,
                                    const QString &own) {
            if (candidate.card.uid.compare(ownUid, Qt::CaseInsensitive) != 0 &&
                !ourNumber(candidate.card.uid))
                linkNow(candidate,
                        sync::baseText(sync::baseOf(sync::boxesOf(card.record(n), card.notes(n)))));
            else
                reportSecondCopy(candidate.entry.name, own);
        };
        // The contact's vCard: unchanged since the last pass, changed, new, or none.
        const ReadCard *chosen = nullptr;
        std::optional<files::NativeEntry> fileEntry;
        sync::FileState fileState = sync::FileState::None;
        if (unreadable.contains(n)) {
            fileState = sync::FileState::Unreadable;
        } else if (const auto st = steady.constFind(n); st != steady.cend()) {
            fileEntry = *st;
            fileState = sync::FileState::Unchanged;
            // The cards in place in `ours`, not a copy of the list: a link keeps their
            // address for the rest of the contact's turn.
            if (const auto o = ours.constFind(n); o != ours.cend())
                for (const ReadCard &copy : *o)
                    secondCard(copy, known ? last->foreignUid : QString(), fileEntry->name);
        } else if (const auto o = ours.constFind(n); o != ours.cend()) {
            // The file the last pass left, or the one named as ours, wins over copies of
            // the same UID under other names, which are named in the report.
            const QList<ReadCard> &candidates = *o;
            chosen = &candidates.first();
            // Without a state, of the cards whose UIDs the notes keep, the one kept first
            // is the contact's own: the others came later, as its second vCards.
            if (!known)
                for (const QString &uid : uidsInNotes(card.notes(n))) {
                    const auto first = std::find_if(
                        candidates.cbegin(), candidates.cend(), [&uid](const ReadCard &c) {
                            return c.card.uid.compare(uid, Qt::CaseInsensitive) == 0;
                        });
                    if (first != candidates.cend()) {
                        chosen = &*first;
                        break;
                    }
                }
            for (const ReadCard &candidate : candidates)
                if (candidate.entry.name == (known ? last->fileName : canonical))
                    chosen = &candidate;
            for (const ReadCard &candidate : candidates)
                if (&candidate != chosen)
                    secondCard(candidate, chosen->card.uid, chosen->entry.name);
            fileEntry = chosen->entry;
            fileState = known && last->file == chosen->digest ? sync::FileState::Unchanged
                                                              : sync::FileState::Changed;
            // A UID of our form for another number (a card of ours taken in as a new
            // contact after a restore) is kept as a phone card's is: by it alone the
            // card is found again for this contact, not for the one its number names.
            if (!known && !chosen->card.uid.isEmpty() && ourNumber(chosen->card.uid) != n)
                now.foreignUid = chosen->card.uid;
        } else if (const auto a = alreadyImported.constFind(n); a != alreadyImported.cend()) {
            chosen = &*a;
            fileEntry = chosen->entry;
            fileState = sync::FileState::Changed;
            now.foreignUid = chosen->card.uid;
        } else if (leftAlone.contains(canonical)) {
            // A file under the name of the contact's vCard that cannot be read is never
            // written over; the contact's vCard waits until it can.
            fileState = sync::FileState::Unreadable;
        }

        // The record's boxes need its notes, so they are read only when a vCard is
        // compared or written: a quiet pass reads no notes file.
        std::optional<sync::Boxes> recordBoxesRead;
        const auto recordBoxes = [&]() -> const sync::Boxes & {
            if (!recordBoxesRead)
                recordBoxesRead = sync::boxesOf(card.record(n), card.notes(n));
            return *recordBoxesRead;
        };
        std::optional<sync::Boxes> fileBoxes;
        if (chosen)
            fileBoxes = sync::boxesOf(chosen->card.record, chosen->card.notes);
        // The chosen vCard's whole values, worked out once: they take another parse.
        std::optional<sync::BaseValues> chosenWholeRead;
        const auto chosenWhole = [&]() -> const sync::BaseValues & {
            if (!chosenWholeRead)
                chosenWholeRead = sync::baseOf(sync::wholeBoxesIn(chosen->bytes, *fileBoxes));
            return *chosenWholeRead;
        };
        bool sameValues = fileBoxes && *fileBoxes == recordBoxes();
        // A phone edit beyond a box's width shows in no box: its whole values against the
        // last pass's tell.
        // Without the last pass's whole values (a state of an older version, an append a
        // pass cut short), the card file's own whole values stand in for them.
        if (sameValues && known && fileState == sync::FileState::Changed) {
            const std::optional<sync::BaseValues> lastWhole = wholeBase(*last);
            sameValues =
                chosenWhole() ==
                (lastWhole ? *lastWhole
                           : sync::baseOf(sync::wholeBoxesOf(card.record(n), card.notes(n))));
        }
        const sync::Action action = sync::planContact(
            {known, recordChanged, fileState, sameValues, known && !last->base.isEmpty()});
        // Decoded only for a contact acted on: a quiet pass decodes no record, and a new
        // vCard's record is decoded where the vCard is built.
        const bool newVCard = action == sync::Action::Create || action == sync::Action::Restore;
        const ContactRecord record =
            action == sync::Action::Nothing || newVCard ? ContactRecord() : card.record(n);

        const auto keepFile = [&] {
            now.whole = chosen  ? wholeText(chosenWhole(), now.base)
                        : known ? last->whole
                                : QByteArray();
            now.fileName = fileEntry->name;
            now.file = chosen ? chosen->digest : last->file;
            now.fileId = identity(*fileEntry);
            next.contacts.insert(n, now);
        };
        // seen: the file as this pass read it (or found it missing), which only may be
        // replaced; another program's version written since is left alone.
        const auto writeFile = [&](const QString &name, const QByteArray &bytes,
                                   const files::SeenFile &seen) {
            const files::WrittenFile written =
                vcards.addNative(joinedPath(nativeFolder, name), bytes, seen);
            ++report.written;
            now.fileName = name;
            now.file = digest(bytes);
            // As the folder will list it: the rename into place keeps it.
            now.fileId = identity({name, written.size, written.mtimeNs, written.inode});
            next.contacts.insert(n, now);
        };
        // A change from the contact's own vCard: refused, the contact stays as the last
        // pass left it.
        const auto storeContact = [&](const ContactRecord &values, const QString &notes) {
            // A contact given a vCard of its own has none yet: named by the one it gets.
            if (storeRecord(values, notes, fileEntry ? fileEntry->name : canonical))
                return true;
            if (known)
                next.contacts.insert(n, *last);
            return false;
        };
        // correctSection: the card is as the last pass left it, so a value of the notes'
        // section that differs from the card's was corrected in the card file.
        const auto mergeOut = [&](const sync::Boxes &recordNow, bool correctSection = false) {
            now.base = sync::baseText(sync::baseOf(recordNow));
            const QString path = joinedPath(nativeFolder, fileEntry->name);
            QByteArray bytes;
            try {
                bytes = chosen ? chosen->bytes : files::readNativeFile(path);
            } catch (const platform::FileError &error) {
                // Deleted or made unreadable by another program since the listing.
                leaveAlone(path, error.reason(), fileEntry->name);
                if (known)
                    next.contacts.insert(n, *last);
                return;
            }
            // Read only now: a version another program wrote since the listing is not the
            // one the last pass left, and no change of the card file's. The next pass reads
            // it whatever its identity then (a rewrite may keep size and time).
            if (!chosen && known && digest(bytes) != last->file) {
                report.lines.append(changedMeanwhile.arg(path));
                ++report.leftAlone;
                ContactState kept = *last;
                kept.fileId = QByteArrayLiteral("-");
                next.contacts.insert(n, kept);
                return;
            }
            const ReadResult read = chosen ? ReadResult{} : readVCards(bytes);
            const ImportedContact *seenCard = chosen ? &chosen->card
                                              : read.ok() && read.contacts.size() == 1
                                                  ? &read.contacts.first()
                                                  : nullptr;
            const std::optional<sync::Boxes> seen =
                seenCard ? std::optional(sync::boxesOf(seenCard->record, seenCard->notes))
                         : std::nullopt;
            if (!seen) {
                leaveAlone(path, QStringLiteral("the file is no longer one vCard"),
                           fileEntry->name);
                if (known)
                    next.contacts.insert(n, *last);
                return;
            }
            sync::Boxes values = valuesToWrite(recordNow, *seen, card.notes(n));
            // With the card as the last pass left it, a whole value of the notes' section
            // that changed since only past what its box shows goes out too: its box is
            // the same, so only its whole value against the last pass's tells.
            if (correctSection && known)
                if (const std::optional<sync::BaseValues> lastWhole = wholeBase(*last)) {
                    const WholeContact whole = wholeContact(card.record(n), card.notes(n));
                    const sync::BaseValues wholeNow =
                        sync::baseOf(sync::wholeBoxesOf(recordNow, whole));
                    for (size_t i = 0; i < size_t(FieldBoxCount); ++i)
                        if (whole.restored[i] && values.box[i] == seen->box[i] &&
                            wholeNow.digest[i] != lastWhole->digest[i])
                            values.box[i] = whole.boxes[i].trimmed();
                }
            QByteArray merged = sync::mergeIntoCard(bytes, *seen, values);
            if (correctSection)
                merged =
                    sync::correctValues(merged, sectionCorrections(seenCard->notes, card.notes(n)));
            if (merged == bytes) {
                now.whole = chosen ? wholeText(chosenWhole(), now.base)
                                   : wholeText(*seenCard, bytes, now.base);
                now.fileName = fileEntry->name;
                now.file = digest(bytes);
                now.fileId = identity(*fileEntry);
                next.contacts.insert(n, now);
                return;
            }
            const ReadResult written = readVCards(merged);
            now.whole = written.ok() && written.contacts.size() == 1
                            ? wholeText(written.contacts.first(), merged, now.base)
                            : QByteArray();
            replaceIntents += replaceIntent(fileEntry->name, merged, bytes);
            writeFile(fileEntry->name, merged, files::SeenFile::holding(bytes));
        };

        switch (action) {
        case sync::Action::Nothing:
            now.base = !recordChanged && known && !last->base.isEmpty()
                           ? last->base
                           : sync::baseText(sync::baseOf(recordBoxes()));
            keepFile();
            break;
        case sync::Action::LeaveAlone:
            // Known again once the file reads: the last pass's view of it stays.
            if (known)
                next.contacts.insert(n, *last);
            break;
        case sync::Action::Restore:
        case sync::Action::Create: {
            if (action == sync::Action::Restore) {
                report.lines.append(QStringLiteral("The vCard of %1 was deleted from the "
                                                   "folder; nothing was deleted, it is written "
                                                   "again")
                                        .arg(describe(card.contact(n))));
                ++report.restored;
            }
            // The contact's own name holds the card of the contact its number named
            // before, or another contact's card (one of ours taken in as a new contact
            // after a restore from a backup): it gets a UID of its own, kept in its notes
            // as a phone card's is.
            QString uid;
            const auto holder = stateFiles.constFind(canonical);
            if (strangers.contains(canonical) || (holder != stateFiles.cend() && *holder != n)) {
                uid = QStringLiteral("urn:uuid:") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces);
                if (!storeContact(card.record(n), notesWithUid(card.notes(n), uid)))
                    break;
                now.foreignUid = uid;
            }
            // Its values and whole values are worked out with its vCard.
            newCards.push_back({n, now, uid});
            break;
        }
        case sync::Action::WriteOut:
            mergeOut(recordBoxes(), true);
            break;
        case sync::Action::TakeIn: {
            ContactRecord theirs = chosen->card.record;
            theirs.ContactID = record.ContactID.text();
            theirs.DataType = record.DataType.text();
            std::array<bool, FieldBoxCount> all;
            all.fill(true);
            // The phone's notes come in with the record's conflict blocks kept: those are
            // the card file's, and may hold the only copy of a value the phone replaced.
            QString own = splitNotes(chosen->card.notes).own;
            if (const QString blocks =
                    sync::conflictBlocks(sync::boxesOf({}, card.notes(n)).ownNotes);
                !blocks.isEmpty() && !own.contains(blocks)) {
                own = sync::notesValue(own);
                own += (own.isEmpty() ? QString() : QStringLiteral("\r\n")) + blocks;
            }
            const QString notes = notesWithUid(
                joinNotes(own, sectionAfterTakingIn(card.notes(n), chosen->card.notes, all)),
                now.foreignUid);
            intents += takeInIntent(n, digest(theirs.toRandomBytes()), notesDigest(notes),
                                    chosen->digest, fileEntry->name);
            files::replaceNativeFile(intentPath, intents);
            if (!storeContact(theirs, notes))
                break;
            report.lines.append(QStringLiteral("Updated %1 from %2")
                                    .arg(describe(card.contact(n)), fileEntry->name));
            ++report.updated;
            now.base = sync::baseText(sync::baseOf(sync::boxesOf(theirs, notes)));
            keepFile();
            break;
        }
        case sync::Action::Merge: {
            // Value by value against the last pass: each side's changes go to the other;
            // a value changed on both keeps the record's, and the vCard's goes into the
            // notes.
            const sync::Boxes &mine = recordBoxes();
            // Values that do not read count as changed on both sides: the card file's
            // stay, and the vCard's differing ones go into the notes.
            const sync::BaseValues base = sync::parseBase(last->base).value_or(sync::BaseValues{});
            const std::optional<sync::BaseValues> lastWhole = wholeBase(*last);
            const sync::ValueMerge merge =
                lastWhole ? sync::mergeValues(base, mine, *fileBoxes, *lastWhole, chosenWhole())
                          : sync::mergeValues(base, mine, *fileBoxes);
            const QString oldNotes = card.notes(n);
            const auto [merged, notes] = mergedFromCard(record, oldNotes, mine, *fileBoxes,
                                                        chosen->card, chosen->bytes, merge);
            if (!(merged == record) || notes != oldNotes) {
                if (!storeContact(merged, notes))
                    break;
            }
            if (merge.anyConflict()) {
                report.lines.append(QStringLiteral("Conflict on %1: values changed in the card "
                                                   "file and in %2; the card file's were kept, "
                                                   "the other values are in the contact's notes")
                                        .arg(describe(card.contact(n)), fileEntry->name));
                ++report.conflicts;
            } else if (merge.anyFromPhone()) {
                report.lines.append(QStringLiteral("Updated %1 from %2, with the card file's "
                                                   "changes kept")
                                        .arg(describe(card.contact(n)), fileEntry->name));
                ++report.updated;
            }
            mergeOut(sync::boxesOf(merged, notes));
            break;
        }
        case sync::Action::Conflict: {
            if (!known) {
                // Without the last pass's state nobody can tell which side changed a
                // value, so the address book's card is only added to, never narrowed: a
                // box it holds a value for takes that value, and the card file's
                // differing value is kept in the notes; a box it lacks gets the card
                // file's value, and its own note stays as it is.
                const sync::Boxes &mine = recordBoxes();
                const QString oldNotes = card.notes(n);
                ContactRecord merged = record;
                QStringList kept;
                std::array<bool, FieldBoxCount> theirBox{};
                for (int i = 0; i < FieldBoxCount; ++i) {
                    const QString &theirs = fileBoxes->box[size_t(i)];
                    theirBox[size_t(i)] = !theirs.isEmpty();
                    if (theirs.isEmpty() || theirs == mine.box[size_t(i)])
                        continue;
                    merged.setField(FieldBox(i), chosen->card.record.fieldText(FieldBox(i)));
                    if (!mine.box[size_t(i)].isEmpty())
                        kept.append(importing::boxLabel(FieldBox(i)) + QStringLiteral(": ") +
                                    wholeValue(FieldBox(i), mine.box[size_t(i)], oldNotes));
                }
                // The whole values behind the boxes taken come along, as a take-in brings them.
                QString notes =
                    joinNotes(splitNotes(oldNotes).own,
                              sectionAfterTakingIn(oldNotes, chosen->card.notes, theirBox));
                if (!(merged == record) || !kept.isEmpty() || notes != oldNotes) {
                    notes = withConflictLines(notes,
                                              QStringLiteral("no record of the last pass; the "
                                                             "address book's values were taken. "
                                                             "The card file's:"),
                                              kept);
                    if (!storeContact(merged, notes))
                        break;
                    report.lines.append(QStringLiteral("Conflict on %1: no record of the last "
                                                       "pass; the values of %2 were taken, the "
                                                       "card file's are in the contact's notes")
                                            .arg(describe(card.contact(n)), fileEntry->name));
                    ++report.conflicts;
                }
                sync::Boxes added = sync::boxesOf(merged, notes);
                if (!fileBoxes->ownNotes.isEmpty())
                    added.ownNotes = fileBoxes->ownNotes;
                mergeOut(added);
                break;
            }
            const QString notes = conflictNotes(card.notes(n), *fileBoxes, recordBoxes(),
                                                chosen->card.notes, chosen->bytes);
            if (notes != card.notes(n)) {
                if (!storeContact(record, notes))
                    break;
            }
            report.lines.append(QStringLiteral("Conflict on %1: changed in the card file and in "
                                               "%2; the card file's values were kept, the "
                                               "other values are in the contact's notes")
                                    .arg(describe(card.contact(n)), fileEntry->name));
            ++report.conflicts;
            mergeOut(sync::boxesOf(record, notes));
            break;
        }
        }

        // The record as it ends up goes out to each second vCard: the values changed in
        // the card file since that card was last in step, and nothing else, so a value
        // only the card holds stays.
        for (const Link &l : links) {
            if (l.kept)
                continue;
            if (!l.read && known && now.record == last->record && now.notes == last->notes &&
                l.last.recordBase == last->base) {
                next.links[n].append(l.last);
                continue;
            }
            const sync::Boxes ending = sync::boxesOf(card.record(n), card.notes(n));
            const QString path = joinedPath(nativeFolder, l.entry.name);
            QByteArray bytes;
            try {
                bytes = l.read ? l.read->bytes : files::readNativeFile(path);
            } catch (const platform::FileError &error) {
                leaveAlone(path, error.reason(), l.entry.name);
                next.links[n].append(l.last);
                continue;
            }
            // As for the contact's own vCard: written by another program since the
            // listing found it unchanged, it is left for the next pass to read.
            if (!l.read && digest(bytes) != l.last.file) {
                report.lines.append(changedMeanwhile.arg(path));
                ++report.leftAlone;
                LinkedCard kept = l.last;
                kept.fileId = QByteArrayLiteral("-");
                next.links[n].append(kept);
                continue;
            }
            const std::optional<sync::Boxes> seen =
                l.read ? sync::boxesOf(l.read->card.record, l.read->card.notes)
                       : sync::renderedBoxes(bytes);
            const std::optional<sync::BaseValues> recordBase = sync::parseBase(l.last.recordBase);
            if (!seen || !recordBase) {
                leaveAlone(path, QStringLiteral("the file is no longer one vCard"), l.entry.name);
                next.links[n].append(l.last);
                continue;
            }
            LinkedCard after{l.entry.name, digest(bytes), identity(l.entry),
                             sync::baseText(sync::baseOf(ending)),
                             sync::baseText(sync::baseOf(*seen))};
            const sync::Boxes wanted =
                valuesToWrite(sync::changedSince(*recordBase, *seen, ending), *seen, card.notes(n),
                              chosen ? chosen->bytes : QByteArray());
            const QByteArray merged =
                wanted == *seen ? bytes : sync::mergeIntoCard(bytes, *seen, wanted);
            if (merged != bytes) {
                replaceIntents += replaceIntent(l.entry.name, merged, bytes);
                const files::WrittenFile written =
                    vcards.addNative(path, merged, files::SeenFile::holding(bytes));
                ++report.written;
                after.file = digest(merged);
                after.fileId =
                    identity({after.fileName, written.size, written.mtimeNs, written.inode});
                if (const std::optional<sync::Boxes> boxes = sync::renderedBoxes(merged))
                    after.fileBase = sync::baseText(sync::baseOf(*boxes));
                linkWrites.insert(after.fileName,
                                  {n, l.linkedNow ? std::nullopt : std::optional(l.last)});
            }
            next.links[n].append(after);
        }
    }

    // A vCard another program wrote while the pass ran is left as it is, and the contact
    // stays as the last pass left it: the next pass reads the new version and compares it
    // with the card file again.
    const auto leaveToTheOtherProgram = [&](const QString &path, int n) {
        report.lines.append(changedMeanwhile.arg(path));
        ++report.leftAlone;
        if (const auto last = state.contacts.constFind(n);
            !firstPass && last != state.contacts.cend())
            next.contacts.insert(n, *last);
        else
            next.contacts.remove(n);
    };

    // The new vCards: the last of them begun, then all of them done.
    if (!newCards.empty()) {
        beginNewCards();
        const std::vector<std::optional<files::WrittenFile>> created = vcards.finishNewNatives();
        for (std::size_t i = 0; i < newCards.size(); ++i) {
            NewCard &c = newCards[i];
            const QString &name = newNames.at(qsizetype(i));
            const std::optional<files::WrittenFile> &written = created[i];
            if (!written) {
                // Another program put a file under that name since the folder was listed.
                leaveToTheOtherProgram(joinedPath(nativeFolder, name), c.n);
                continue;
            }
            ++report.written;
            c.now.fileName = name;
            c.now.file = newDigests[i];
            c.now.fileId = identity({name, written->size, written->mtimeNs, written->inode});
            next.contacts.insert(c.n, c.now);
        }
    }

    if (!replaceIntents.isEmpty()) {
        intents += replaceIntents;
        files::replaceNativeFile(intentPath, intents);
    }
    for (const QString &path : vcards.commit()) {
        --report.written;
        const QString name = path.mid(path.lastIndexOf(u'/') + 1);
        if (const auto l = linkWrites.constFind(name); l != linkWrites.cend()) {
            // A second vCard another program changed: it stays as the last pass knew it.
            report.lines.append(changedMeanwhile.arg(path));
            ++report.leftAlone;
            QList<LinkedCard> &kept = next.links[l->first];
            kept.removeIf([&name](const LinkedCard &c) { return c.fileName == name; });
            if (l->second)
                kept.append(*l->second);
            continue;
        }
        // Rare, so found by its name rather than kept for every file written.
        const auto written =
            std::find_if(next.contacts.cbegin(), next.contacts.cend(),
                         [&name](const ContactState &c) { return c.fileName == name; });
        if (written == next.contacts.cend()) {
            report.lines.append(changedMeanwhile.arg(path));
            ++report.leftAlone;
            continue;
        }
        leaveToTheOtherProgram(path, written.key());
    }
    for (auto it = setAsideDone.cbegin(); it != setAsideDone.cend(); ++it)
        if (!files::deleteNativeFileIfSeen(it.key(), files::SeenFile::holding(*it))) {
            report.lines.append(changedMeanwhile.arg(it.key()));
            ++report.leftAlone;
        }

    // Identities of the files a pass cut short wrote, which it could not record.
    if (report.written > 0 &&
        std::any_of(next.contacts.cbegin(), next.contacts.cend(),
                    [](const ContactState &c) { return c.fileId.isEmpty(); })) {
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
    if (hadIntents || !intents.isEmpty())
        files::deleteNativeFile(intentPath);
    if (report.written > 0)
        report.lines.append(QStringLiteral("Wrote %1 vCard file(s).").arg(report.written));
    if (report.lines.isEmpty())
        report.lines.append(QStringLiteral("Nothing changed."));
    return report;
}

} // namespace cardomine::tool
