// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/lookup.h"

#include "datastore/boxcaptions.h"
#include "datastore/cardfilereader.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "tool/contacts.h"
#include "tool/contactsearch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>
#include <vector>

namespace cardomine::tool {

namespace {

using namespace Qt::StringLiterals;

// The record's fields as scripts name them, in the window's order.
constexpr std::pair<FieldBox, QLatin1StringView> JsonNames[] = {
    {FieldBox::FirstName, "firstName"_L1},
    {FieldBox::LastName, "lastName"_L1},
    {FieldBox::Company, "company"_L1},
    {FieldBox::Address, "address"_L1},
    {FieldBox::City, "city"_L1},
    {FieldBox::State, "state"_L1},
    {FieldBox::Zip, "zip"_L1},
    {FieldBox::HomePhone, "homePhone"_L1},
    {FieldBox::WorkPhone, "workPhone"_L1},
    {FieldBox::PagerMobile, "pagerMobile"_L1},
    {FieldBox::FaxOrEmail, "faxOrEmail"_L1},
};

// Notes as shown on a terminal: no control characters but tabs and line ends, one
// line end of the shell's kind.
QString shownNotes(const QString &notes)
{
    QString text = withoutControls(notes);
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    return text;
}

QString emailOf(const cardfile::Contact &contact)
{
    return wholeEmailAddresses(contact.record, contact.notes).value(0);
}

// The contacts that hold every word, in position order, with their notes. A random-form
// card file is searched in its bytes as stored: only the contacts found are decoded.
QList<cardfile::Contact> matchingContacts(const ContactMatcher &matcher)
{
    cardfile::CardFile card = cardfile::read({.records = cardfile::RecordText::NumberOnly,
                                              .notes = cardfile::NotesText::Skip,
                                              .keepBytes = true,
                                              .notesFileFacts = false});
    QList<cardfile::Contact> found;
    if (card.fileType == u'S') {
        // The sequential form is read whole: its records are lines, not fixed bytes.
        card = cardfile::read({.notesFileFacts = false});
        for (cardfile::Contact &contact : card.contacts) {
            if (matcher.matches(contact.record, contact.notes))
                found.append(std::move(contact));
        }
        return found;
    }

    const QByteArrayView data(card.dataBytes);
    const auto recordAt = [&data](int position) {
        // A position past the end of the file reads as a record of spaces.
        const qsizetype at = std::min(data.size(), qsizetype(position - 1) * ContactRecord::Length);
        return data.sliced(at, std::min<qsizetype>(ContactRecord::Length, data.size() - at));
    };
    const auto take = [&found, &recordAt](int position, const std::optional<QByteArray> &notes) {
        cardfile::Contact contact{position, {}, {}};
        contact.record.setFromRandomBytes(recordAt(position));
        if (notes)
            contact.notes = notes::fromFileBytes(*notes);
        found.append(std::move(contact));
    };

    // In batches, so that the notes files' bytes read stay few and warm.
    constexpr int Batch = 512;
    const int last = int(card.numbers.size());
    std::vector<int> missing;
    QStringList names;
    std::vector<std::pair<int, std::vector<int>>> waiting; // position, words not in its boxes
    for (int from = 1; from <= last; from += Batch) {
        names.clear();
        waiting.clear();
        for (int position = from; position <= std::min(last, from + Batch - 1); ++position) {
            const QByteArrayView record = recordAt(position);
            if (cardfile::isBlankRandomRecord(record))
                continue;
            matcher.wordsNotInBoxes(record, missing);
            const std::optional<int> number = card.numbers[position - 1];
            const auto notes = number ? card.notesFiles.constFind(*number) : card.notesFiles.cend();
            if (notes == card.notesFiles.cend()) {
                if (missing.empty())
                    take(position, std::nullopt);
                continue;
            }
            // Its notes are read to search them, or to show what they hold.
            names.append(notes->name);
            waiting.emplace_back(position, missing);
        }
        if (names.isEmpty())
            continue;
        const std::vector<std::optional<QByteArray>> notes =
            platform::files::readBytesIfFilesIn(paths::NotesFolder, names, notes::ReadLimit + 1);
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            const auto &[position, words] = waiting[i];
            if (words.empty() || (notes[i] && matcher.notesHold(*notes[i], words)))
                take(position, notes[i]);
        }
    }
    return found;
}

} // namespace

LookupOutput findContacts(const QStringList &texts, LookupFormat format)
{
    const ContactMatcher matcher(texts);
    LookupOutput output;
    QJsonArray list;
    for (const cardfile::Contact &contact : matchingContacts(matcher)) {
        output.found = true;
        const QString name = contactName(contact.record);
        const QString company = oneLineValue(contact.record.Company.text());
        const QString phone = firstPhone(contact.record);
        const QString email = emailOf(contact);
        if (format == LookupFormat::Json) {
            list.append(QJsonObject{{u"number"_s, contact.position},
                                    {u"name"_s, name},
                                    {u"company"_s, company},
                                    {u"phone"_s, phone},
                                    {u"email"_s, email}});
        } else {
            output.out += (QString::number(contact.position) + u'\t' + name + u'\t' + company +
                           u'\t' + phone + u'\t' + email + u'\n')
                              .toUtf8();
        }
    }
    if (format == LookupFormat::Json)
        output.out = QJsonDocument(list).toJson(QJsonDocument::Indented);
    return output;
}

LookupOutput showContact(int number, LookupFormat format)
{
    // One contact's notes are wanted: the others are not read.
    const cardfile::CardFile card =
        cardfile::read({.notes = cardfile::NotesText::Skip, .notesFileFacts = false});
    LookupOutput output;
    const cardfile::Contact *found = card.atPosition(number);
    if (!found)
        return output;
    output.found = true;
    const ContactRecord &record = found->record;
    QString notesText;
    if (const std::optional<int> id = record.contactNumber(); id && card.notesFiles.contains(*id))
        notesText =
            notes::fromFileBytes(cardfile::notesFileBytes(card, card.notesFiles.value(*id)));
    const QString type = fieldValue(record.DataType.text());
    const QString notes = shownNotes(notesText);

    if (format == LookupFormat::Json) {
        QJsonObject object{{u"number"_s, number}};
        for (const auto &[box, name] : JsonNames)
            object.insert(name, fieldValue(record.fieldText(box)));
        object.insert(u"type"_s, type);
        object.insert(u"notes"_s, notes);
        object.insert(u"emails"_s,
                      QJsonArray::fromStringList(wholeEmailAddresses(record, notesText)));
        output.out = QJsonDocument(object).toJson(QJsonDocument::Indented);
        return output;
    }

    // The window's order: the boxes down the left, the number, the phones and fax on
    // the right, then the type and the notes.
    QList<std::pair<QString, QString>> rows;
    const auto box = [&](FieldBox b) {
        rows.append({captions::fieldBox(b), oneLineValue(record.fieldText(b))});
    };
    for (FieldBox b : {FieldBox::FirstName, FieldBox::LastName, FieldBox::Company,
                       FieldBox::Address, FieldBox::City, FieldBox::State, FieldBox::Zip})
        box(b);
    rows.append({captions::contactId(), QString::number(number)});
    for (FieldBox b :
         {FieldBox::HomePhone, FieldBox::WorkPhone, FieldBox::PagerMobile, FieldBox::FaxOrEmail})
        box(b);
    rows.append({captions::type(), oneLineValue(type)});
    qsizetype width = 0;
    for (const auto &row : std::as_const(rows))
        width = std::max(width, row.first.size());
    QString text;
    for (const auto &[caption, value] : std::as_const(rows))
        text += QString(caption.leftJustified(width + 1) + value).trimmed() + u'\n';
    text += captions::notes() + u'\n';
    if (!notes.isEmpty())
        text += notes.endsWith(u'\n') ? notes : notes + u'\n';
    output.out = text.toUtf8();
    return output;
}

LookupOutput queryAddresses(const QString &text)
{
    const ContactMatcher matcher({text});
    LookupOutput output;
    QString lines;
    int count = 0;
    for (const cardfile::Contact &contact : matchingContacts(matcher)) {
        const QString name = contactName(contact.record);
        const QString company = oneLineValue(contact.record.Company.text());
        for (const QString &address : wholeEmailAddresses(contact.record, contact.notes)) {
            lines += oneLineValue(address) + u'\t' + name + u'\t' + company + u'\n';
            ++count;
        }
    }
    output.found = count > 0;
    const QString heading =
        output.found ? u"Cardomine: %1 e-mail address%2 for \"%3\""_s.arg(count).arg(
                           count == 1 ? QString() : u"es"_s, oneLineValue(text))
                     : u"Cardomine: no e-mail address for \"%1\""_s.arg(oneLineValue(text));
    output.out = (heading + u'\n' + lines).toUtf8();
    return output;
}

} // namespace cardomine::tool
