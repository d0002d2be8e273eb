#include "tool/import.h"

#include "datastore/appendcontacts.h"
#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/paths.h"
#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/textcodec.h"
#include "tool/cardfileid.h"
#include "tool/folderlock.h"
#include "tool/importreader.h"

#include <QHash>
#include <QSet>

#include <optional>

namespace cardomine::tool {

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

QString nameKey(const ContactRecord &r)
{
    return r.FirstName.text().simplified().toCaseFolded() + u'\x1f' +
           r.LastName.text().simplified().toCaseFolded();
}

// A phone or e-mail box as a key: an address in lower case, a number by its digits.
std::optional<QString> pointKey(const QString &box)
{
    const QString value = box.trimmed();
    if (value.contains(u'@'))
        return u"e:"_s + value.toCaseFolded();
    QString digits;
    for (const QChar c : value)
        if (c.isDigit())
            digits += c;
    if (digits.size() < 3)
        return std::nullopt;
    return u"p:"_s + digits;
}

// The eleven boxes, without the number and the type.
QByteArray boxesKey(const ContactRecord &r)
{
    QByteArray bytes = r.toRandomBytes();
    return bytes.left(157) + bytes.mid(163, 229 - 163);
}

bool isBlank(const ContactRecord &r)
{
    for (int i = 0; i < FieldBoxCount; ++i) {
        const QString text = r.fieldText(static_cast<FieldBox>(i));
        for (const QChar c : text)
            if (c != u' ' && c != QChar(0))
                return false;
    }
    return true;
}

// Who is already there, by the rules that make a contact a duplicate: the same first
// and last name with a phone or e-mail in common, or every box the same.
class Duplicates
{
public:
    void add(const ContactRecord &r, const QString &holder)
    {
        if (isBlank(r))
            return;
        const QString name = nameKey(r);
        if (name != u"\x1f"_s)
            for (const QString &key : points(r))
                m_points.insert(name + key, holder);
        m_boxes.insert(boxesKey(r), holder);
    }
    std::optional<QString> find(const ContactRecord &r) const
    {
        const QString name = nameKey(r);
        if (name != u"\x1f"_s)
            for (const QString &key : points(r))
                if (const auto it = m_points.constFind(name + key); it != m_points.cend())
                    return u"same name and %1 as %2"_s.arg(
                        key.startsWith(u"e:") ? u"e-mail"_s : u"phone"_s, *it);
        if (const auto it = m_boxes.constFind(boxesKey(r)); it != m_boxes.cend())
            return u"the same as %1"_s.arg(*it);
        return std::nullopt;
    }

private:
    static QStringList points(const ContactRecord &r)
    {
        QStringList keys;
        for (const QString &box :
             {r.HomePhone.text(), r.WorkPhone.text(), r.PagerMobile.text(), r.FaxOrEmail.text()})
            if (const std::optional<QString> key = pointKey(box))
                keys.append(*key);
        return keys;
    }
    QHash<QString, QString> m_points;
    QHash<QByteArray, QString> m_boxes;
};

struct CardFileState
{
    int count = 0;
    QHash<int, ContactRecord> byNumber;
};

// The records already stored, read in one go.
CardFileState readCardFileState()
{
    const IndexTable table = indexfile::read();
    CardFileState state;
    state.count = indexfile::recordCount(table);
    const QByteArray bytes = files::readBytes(paths::DataFile);
    if (indexfile::fileTypeLetter(table) == u"S") {
        const QStringList lines = platform::text::splitLines(bytes);
        for (qsizetype at = 0; at + ContactRecord::SequentialLineCount <= lines.size();
             at += ContactRecord::SequentialLineCount) {
            ContactRecord record;
            record.setFromSequentialLines(lines.mid(at, ContactRecord::SequentialLineCount));
            if (const std::optional<int> number = record.contactNumber();
                number && !state.byNumber.contains(*number))
                state.byNumber.insert(*number, record);
        }
    } else {
        for (int n = 1; n <= state.count; ++n) {
            ContactRecord record;
            record.setFromRandomBytes(
                bytes.mid(qsizetype(n - 1) * ContactRecord::Length, ContactRecord::Length));
            state.byNumber.insert(n, record);
        }
    }
    return state;
}

QString describedCut(const ImportedContact &c)
{
    return u"cut to fit their boxes (kept whole in the notes): "_s + c.cut.join(u", "_s);
}

} // namespace

bool looksLikeVCard(const QByteArray &bytes)
{
    QByteArray start = bytes.left(4096);
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    return start.trimmed().left(11).toUpper() == "BEGIN:VCARD";
}

ImportOutcome importFiles(const ImportRequest &request)
{
    const auto lock = lockDataFolder();
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
        const ReadResult read = vcard ? readVCards(bytes) : readCsv(bytes);
        if (!read.ok()) {
            outcome.errors.append(u"%1 line %2: %3; nothing from this file is added"_s.arg(
                file, QString::number(read.errorLine), read.error));
            continue;
        }
        out += u"%1: %2 contacts (%3)\n"_s.arg(file)
                   .arg(read.contacts.size())
                   .arg(vcard ? u"vCard"_s : u"CSV"_s)
                   .toUtf8();
        for (const ImportedContact &contact : read.contacts)
            candidates.append({contact, file});
    }

    const CardFileState state = readCardFileState();
    int highest = state.count;
    for (auto it = state.byNumber.cbegin(); it != state.byNumber.cend(); ++it)
        highest = std::max(highest, it.key());
    const UidLookup uids(readCardFileId(), highest);
    Duplicates duplicates;
    for (auto it = state.byNumber.cbegin(); it != state.byNumber.cend(); ++it)
        duplicates.add(*it, u"contact %1"_s.arg(it.key()));

    const int room = std::max(0, ContactRecord::MaxNumber - state.count);
    QList<Candidate> accepted;
    QStringList skipped, refused;
    QHash<QString, QString> uidsSeen;
    for (const Candidate &candidate : std::as_const(candidates)) {
        const ImportedContact &c = candidate.contact;
        std::optional<QString> reason;
        if (!c.uid.isEmpty()) {
            if (const std::optional<int> number = uids.contactNumber(c.uid)) {
                const auto stored = state.byNumber.constFind(*number);
                // Our own UID names the contact for certain; the bare number that
                // older exports wrote is taken only when the names agree.
                const bool ours = c.uid.trimmed().startsWith(u"urn:uuid:"_s, Qt::CaseInsensitive);
                if (stored != state.byNumber.cend() && !isBlank(*stored) &&
                    (ours || nameKey(*stored) == nameKey(c.record)))
                    reason = u"already in the card file as contact %1 (its UID)"_s.arg(*number);
            }
            if (!reason)
                if (const auto seen = uidsSeen.constFind(c.uid.toLower()); seen != uidsSeen.cend())
                    reason = u"the same UID as %1"_s.arg(*seen);
        }
        if (!reason)
            reason = duplicates.find(c.record);
        if (reason) {
            skipped.append(u"skipped  %1 (%2): %3"_s.arg(c.name, where(candidate), *reason));
            continue;
        }
        if (accepted.size() >= room) {
            refused.append(u"refused  %1 (%2): the card file holds at most %3 contacts"_s.arg(
                c.name, where(candidate), QString::number(ContactRecord::MaxNumber)));
            continue;
        }
        if (!c.uid.isEmpty())
            uidsSeen.insert(c.uid.toLower(), where(candidate));
        duplicates.add(c.record, where(candidate));
        accepted.append(candidate);
    }

    QList<int> numbers;
    if (!request.dryRun && !accepted.isEmpty()) {
        QList<store::NewContact> batch;
        batch.reserve(accepted.size());
        for (const Candidate &candidate : std::as_const(accepted))
            batch.append({candidate.contact.record, candidate.contact.notes});
        numbers = store::appendContacts(batch);
    } else {
        for (qsizetype i = 0; i < accepted.size(); ++i)
            numbers.append(state.count + int(i) + 1);
    }

    const QString verb = request.dryRun ? u"would add"_s : u"added"_s;
    QStringList replaced;
    for (qsizetype i = 0; i < accepted.size(); ++i) {
        const ImportedContact &c = accepted.at(i).contact;
        out += u"%1 contact %2: %3 (%4)\n"_s
                   .arg(verb, QString::number(numbers.value(i)), c.name, where(accepted.at(i)))
                   .toUtf8();
        if (!c.cut.isEmpty())
            out += (u"    "_s + describedCut(c) + u'\n').toUtf8();
        if (c.replacedCharacters) {
            out += "    characters Windows-1252 lacks were replaced by \"?\"\n";
            replaced.append(c.name);
        }
    }
    for (const QString &line : std::as_const(skipped))
        out += (line + u'\n').toUtf8();
    for (const QString &line : std::as_const(refused))
        out += (line + u'\n').toUtf8();
    if (!replaced.isEmpty())
        out += (u"Characters replaced by \"?\" in: "_s + replaced.join(u", "_s) + u'\n').toUtf8();
    out += u"%1 %2, %3 skipped as already there, %4 refused (the card file is full).%5\n"_s
               .arg(request.dryRun ? u"Would add"_s : u"Added"_s)
               .arg(accepted.size())
               .arg(skipped.size())
               .arg(refused.size())
               .arg(request.dryRun ? u" Nothing was changed (--dry-run)."_s : QString())
               .toUtf8();
    return outcome;
}

} // namespace cardomine::tool
