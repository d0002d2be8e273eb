// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/cardfilereader.h"

#include "datastore/contactphotos.h"
#include "datastore/dataerror.h"
#include "datastore/indexgrammar.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/drive.h"
#include "platform/files.h"
#include "platform/nativefolder.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <functional>

namespace cardomine::cardfile {

namespace files = platform::files;

namespace {

const QString DataName = QStringLiteral("Cardomine.Dat");
const QString IndexName = QStringLiteral("Index.tbl");
const QString NotesFolderName = QStringLiteral("Contact Notes");
const QString IdName = QStringLiteral("Cardomine.id");
constexpr std::int64_t IdSizeLimit = 256;

// No card file's index is longer than a few lines, nor its data file longer than the
// most records the program can number; a bigger file in a folder brought in is not a
// card file, and is not read into memory.
constexpr std::int64_t IndexSizeLimit = 64 * 1024;
constexpr std::int64_t DataSizeLimit = std::int64_t(64) * 1024 * 1024;

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? QString(folder + name) : QString(folder + u'/' + name);
}

// Reads notes files by their names in the notes folder, in order: the data folder's
// through the program's paths, a folder brought in by its native path.
using NotesReader = std::function<std::vector<std::optional<QByteArray>>(const QStringList &)>;

void leaveOut(CardFile &card, int position)
{
    card.blankPositions.append(position);
    card.warnings.append(
        QStringLiteral("record %1 is blank (nothing was written there); left out").arg(position));
}

// RecordText::NumberOnly, random form: the number a record's bytes hold.
void addNumber(CardFile &card, int position, QByteArrayView raw)
{
    const bool blank = isBlankRandomRecord(raw);
    card.numbers.append(blank ? std::nullopt : ContactRecord::numberInRandomBytes(raw, 0));
    if (blank)
        leaveOut(card, position);
}

// Random form: the whole records the data file holds, and the last position read.
int lastRandomPosition(CardFile &card, const ReadOptions &options)
{
    card.dataRecords = int(std::min<std::int64_t>(card.dataSize / ContactRecord::Length,
                                                  ContactRecord::MaxNumber + 1));
    int last = card.recordCount;
    if (options.extent == Extent::WholeFile)
        last = std::max(last, card.dataRecords);
    return std::min(last, int(ContactRecord::MaxNumber));
}

// The records of the data file's bytes, as the program reads them.
void addRecords(CardFile &card, const ReadOptions &options)
{
    const QByteArray &data = card.dataBytes;
    const bool numberOnly = options.records == RecordText::NumberOnly;
    const auto add = [&card, numberOnly](int position, ContactRecord &&record) {
        const bool blank = isBlank(record);
        if (numberOnly)
            card.numbers.append(blank ? std::nullopt : record.contactNumber());
        if (blank)
            leaveOut(card, position);
        else
            card.contacts.append({position, std::move(record), QString()});
    };

    if (card.fileType == u'S') {
        const QStringList lines = platform::text::splitLines(data);
        const int per = ContactRecord::SequentialLineCount;
        card.sequentialLines = lines.size();
        card.dataRecords =
            int(std::min<qsizetype>(lines.size() / per, ContactRecord::MaxNumber + 1));
        const int last = std::min(card.dataRecords, int(ContactRecord::MaxNumber));
        card.contacts.reserve(last);
        for (int n = 1; n <= last; ++n) {
            ContactRecord record;
            // The sequential form stores no type; the program's records are all contacts.
            record.DataType = QStringLiteral("Contacts");
            record.setFromSequentialLines(lines.mid(qsizetype(n - 1) * per, per));
            add(n, std::move(record));
        }
        if (lines.size() % per != 0)
            card.warnings.append(
                QStringLiteral("the data file ends with %1 lines that make no complete record")
                    .arg(lines.size() % per));
        return;
    }

    const int last = lastRandomPosition(card, options);
    if (numberOnly)
        card.numbers.reserve(last);
    else
        card.contacts.reserve(last);
    const QByteArrayView bytes(data);
    for (int n = 1; n <= last; ++n) {
        // A position past the end of the file reads as a record of spaces.
        const qsizetype at = std::min(bytes.size(), qsizetype(n - 1) * ContactRecord::Length);
        const QByteArrayView raw =
            bytes.sliced(at, std::min<qsizetype>(ContactRecord::Length, bytes.size() - at));
        if (numberOnly) {
            addNumber(card, n, raw);
            continue;
        }
        ContactRecord record;
        record.setFromRandomBytes(raw);
        add(n, std::move(record));
    }
}

// Sorts the notes folder's entries into each number's notes file and the rest. Of two
// names for one number, the one the program writes ("<n>.txt") is the notes file.
void sortNotes(CardFile &card, const QList<files::NativeItem> &items)
{
    for (const files::NativeItem &item : items) {
        if (item.kind == files::NativeKind::Folder)
            continue;
        const std::optional<int> number = notesNumber(item.name);
        if (!number) {
            card.otherNotesFiles.append(item.name);
            continue;
        }
        if (item.kind != files::NativeKind::File) {
            card.warnings.append(QStringLiteral("%1/%2 is not a regular file (a link or a "
                                                "device); the notes of contact %3 are left out")
                                     .arg(card.notesFolderName, item.name)
                                     .arg(*number));
            continue;
        }
        const NotesFile notes{*number, item.name, item.size, item.mtimeNs, item.inode};
        const auto it = card.notesFiles.find(*number);
        if (it == card.notesFiles.end()) {
            card.notesFiles.insert(*number, notes);
        } else if (item.name.endsWith(u".txt")) {
            card.duplicateNotes.append(it->name);
            *it = notes;
        } else {
            card.duplicateNotes.append(item.name);
        }
    }
}

// Sorts the photos folder's entries into the contacts' files and the rest.
void sortPhotos(CardFile &card, const QList<files::NativeItem> &items)
{
    for (const files::NativeItem &item : items) {
        const std::optional<int> number = photos::fileNumber(item.name);
        if (number && item.kind == files::NativeKind::File)
            card.photoFiles.append({*number, item.name, item.size});
        else
            card.otherPhotoFiles.append(item.name);
    }
}

void readNotesTexts(CardFile &card, const NotesReader &readNotes)
{
    QStringList names;
    QList<Contact *> owners;
    for (Contact &contact : card.contacts) {
        const std::optional<int> number = contact.record.contactNumber();
        if (const auto it = number ? card.notesFiles.constFind(*number) : card.notesFiles.cend();
            it != card.notesFiles.cend()) {
            names.append(it->name);
            owners.append(&contact);
        }
    }
    std::vector<std::optional<QByteArray>> bytes = readNotes(names);
    for (qsizetype i = 0; i < owners.size(); ++i) {
        if (bytes[size_t(i)])
            owners[i]->notes = notes::fromFileBytes(std::move(*bytes[size_t(i)]));
    }
}

void parseIndex(CardFile &card)
{
    card.index = indexfile::parse(card.indexBytes);
    card.recordCount = indexfile::recordCount(card.index);
    const std::optional<QChar> type = indexfile::fileType(card.index);
    card.fileTypeLine = type.has_value();
    card.fileType = type.value_or(u'R');
}

// The index and the records, once the files' bytes are in.
void parse(CardFile &card, const ReadOptions &options)
{
    parseIndex(card);
    addRecords(card, options);
}

void finish(CardFile &card, const ReadOptions &options, const NotesReader &readNotes)
{
    if (options.notes == NotesText::Read)
        readNotesTexts(card, readNotes);
    if (!options.keepBytes) {
        card.indexBytes.clear();
        card.dataBytes.clear();
    }
}

[[noreturn]] void refuse(const QString &path, const QString &problem)
{
    throw DataError(path, problem);
}

// The one entry of a listing that is `wanted` in some letter case. Two such names
// leave no way to tell which one is meant.
const files::NativeItem *findItem(const QList<files::NativeItem> &items, const QString &wanted,
                                  const QString &folder)
{
    const files::NativeItem *found = nullptr;
    for (const files::NativeItem &item : items) {
        if (item.name.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        if (found)
            refuse(folder, QStringLiteral("it holds %1 and %2: more than one %3 in different "
                                          "letter case, so it is not clear which one is meant")
                               .arg(found->name, item.name, wanted));
        found = &item;
    }
    return found;
}

void refuseLinks(const QList<files::NativeItem> &items, const QString &folder)
{
    for (const files::NativeItem &item : items) {
        if (item.kind == files::NativeKind::Link)
            refuse(joined(folder, item.name),
                   QStringLiteral("it is a symbolic link; a card file brought in is read only "
                                  "from its own files, never through a link"));
    }
}

} // namespace

const Contact *CardFile::atPosition(int position) const
{
    const auto it = std::lower_bound(
        contacts.cbegin(), contacts.cend(), position,
        [](const Contact &contact, int wanted) { return contact.position < wanted; });
    return it != contacts.cend() && it->position == position ? &*it : nullptr;
}

bool isBlank(const ContactRecord &r)
{
    for (const QString *field :
         {&r.FirstName.text(), &r.LastName.text(), &r.Company.text(), &r.Address.text(),
          &r.City.text(), &r.State.text(), &r.Zip.text(), &r.ContactID.text(), &r.HomePhone.text(),
          &r.WorkPhone.text(), &r.PagerMobile.text(), &r.FaxOrEmail.text()}) {
        if (std::any_of(field->cbegin(), field->cend(),
                        [](QChar c) { return c != u' ' && c != QChar(0); }))
            return false;
    }
    return true;
}

bool isBlankRandomRecord(QByteArrayView bytes)
{
    // Every field but the type; space and NUL are the only bytes that decode to those
    // characters.
    const QByteArrayView fields = bytes.first(std::min<qsizetype>(
        bytes.size(), ContactRecord::Length - widthOf(&ContactRecord::DataType)));
    return std::all_of(fields.cbegin(), fields.cend(), [](char c) { return c == ' ' || c == 0; });
}

QByteArray photoFileBytes(const CardFile &card, const PhotoFile &photo)
{
    if (card.inDataFolder)
        return photos::read(photo.number, photo.name.mid(photo.name.indexOf(u'-') + 1))
            .value_or(QByteArray());
    return files::readNativeFileNoFollow(
        joined(joined(card.folder, card.photosFolderName), photo.name), photos::FileLimit + 1);
}

std::optional<int> notesNumber(const QString &name)
{
    // ".txt" in any letter case; only T and X fold to those letters.
    const auto lower = [](QChar c) { return c.unicode() | 0x20; };
    if (name.size() < 4 || name[name.size() - 4] != u'.' || lower(name[name.size() - 3]) != u't' ||
        lower(name[name.size() - 2]) != u'x' || lower(name[name.size() - 1]) != u't')
        return std::nullopt;
    // Digits only, the first not 0, at most the highest number: as the program writes it.
    const QStringView digits = QStringView(name).chopped(4);
    if (digits.isEmpty() || digits.front() == u'0' || digits.size() > 5)
        return std::nullopt;
    int number = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        number = number * 10 + (c.unicode() - u'0');
    }
    if (number > ContactRecord::MaxNumber)
        return std::nullopt;
    return number;
}

CardFile read(const ReadOptions &options)
{
    CardFile card;
    card.inDataFolder = true;
    card.folder = platform::nativePath(paths::DataFolder);
    card.indexName = IndexName;
    card.dataName = DataName;
    card.indexBytes = files::readBytes(paths::IndexFile);
    card.index = indexfile::parse(card.indexBytes);
    card.recordCount = indexfile::recordCount(card.index);
    const bool sequential = indexfile::fileTypeLetter(card.index) == u"S";
    if (!files::fileExists(paths::DataFile))
        throw DataError(paths::DataFile, QStringLiteral("the data file is missing"));
    card.dataSize = files::fileSize(paths::DataFile);
    if (!sequential && options.records == RecordText::NumberOnly && !options.keepBytes) {
        // Only the numbers are wanted: the records are taken in pieces as they are read,
        // and the file is never held whole.
        parseIndex(card);
        const int last = lastRandomPosition(card, options);
        card.numbers.reserve(last);
        int position = 0;
        constexpr qsizetype Piece = 1024 * ContactRecord::Length;
        files::readInChunks(paths::DataFile, std::int64_t(last) * ContactRecord::Length, Piece,
                            [&card, &position, last](QByteArrayView chunk) {
                                for (qsizetype at = 0; at < chunk.size() && position < last;
                                     at += ContactRecord::Length)
                                    addNumber(
                                        card, ++position,
                                        chunk.sliced(at, std::min<qsizetype>(ContactRecord::Length,
                                                                             chunk.size() - at)));
                            });
        // A position past the end reads as spaces.
        while (position < last)
            addNumber(card, ++position, {});
    } else {
        // The random form is read up to the count, or as far as records can be
        // numbered; a position past the end reads as spaces.
        const int lastRecord =
            options.extent == Extent::WholeFile ? ContactRecord::MaxNumber + 1 : card.recordCount;
        card.dataBytes = files::readBytes(
            paths::DataFile, sequential ? -1 : std::int64_t(lastRecord) * ContactRecord::Length);
        parse(card, options);
    }

    if (files::folderExists(paths::NotesFolder)) {
        card.notesFolderName = NotesFolderName;
        sortNotes(card,
                  files::listNativeItems(files::nativeFolderPath(paths::NotesFolder),
                                         options.notesFileFacts ? files::ItemFacts::All
                                                                : files::ItemFacts::KindOnly));
    }
    if (files::folderExists(paths::PhotosFolder)) {
        card.photosFolderName = photos::FolderName;
        sortPhotos(card, files::listNativeItems(files::nativeFolderPath(paths::PhotosFolder)));
    }
    finish(card, options, [](const QStringList &names) {
        return files::readBytesIfFilesIn(paths::NotesFolder, names, notes::ReadLimit + 1);
    });
    return card;
}

CardFile readFolder(const QString &nativeFolder, const ReadOptions &options)
{
    CardFile card;
    card.folder = nativeFolder;
    while (card.folder.size() > 1 && card.folder.endsWith(u'/'))
        card.folder.chop(1);
    const QList<files::NativeItem> top = files::listNativeItems(card.folder);
    refuseLinks(top, card.folder);

    const files::NativeItem *data = findItem(top, DataName, card.folder);
    const files::NativeItem *index = findItem(top, IndexName, card.folder);
    const files::NativeItem *notesFolder = findItem(top, NotesFolderName, card.folder);
    if (!data || data->kind != files::NativeKind::File)
        refuse(card.folder, QStringLiteral("there is no %1 in it").arg(DataName));
    if (!index || index->kind != files::NativeKind::File)
        refuse(card.folder, QStringLiteral("there is no %1 in it").arg(IndexName));
    card.dataName = data->name;
    card.indexName = index->name;
    for (const auto &[item, limit] :
         {std::pair{index, IndexSizeLimit}, std::pair{data, DataSizeLimit}}) {
        if (item->size > limit)
            refuse(joined(card.folder, item->name),
                   QStringLiteral("it is %1 bytes, more than any card file's %2 can be; it is "
                                  "not read")
                       .arg(item->size)
                       .arg(item == index ? IndexName : DataName));
    }
    card.indexBytes =
        files::readNativeFileNoFollow(joined(card.folder, card.indexName), IndexSizeLimit + 1);
    card.dataBytes =
        files::readNativeFileNoFollow(joined(card.folder, card.dataName), DataSizeLimit + 1);
    card.dataSize = card.dataBytes.size();
    const QString indexPath = joined(card.folder, card.indexName);
    if (const std::optional<indexfile::Fault> fault = indexfile::grammarFault(card.indexBytes))
        refuse(indexPath, *fault);
    try {
        parse(card, options);
    } catch (const DataError &error) {
        // The grammar holds, so only the count can be out of range.
        refuse(indexPath, QStringLiteral("line %1: %2")
                              .arg(indexfile::parse(card.indexBytes).highestEntry())
                              .arg(error.problem()));
    }
    if (const files::NativeItem *id = findItem(top, IdName, card.folder);
        id && id->kind == files::NativeKind::File)
        card.cardFileId =
            files::readNativeFileNoFollow(joined(card.folder, id->name), IdSizeLimit + 1);

    if (notesFolder && notesFolder->kind == files::NativeKind::Folder) {
        card.notesFolderName = notesFolder->name;
        const QString path = joined(card.folder, card.notesFolderName);
        const QList<files::NativeItem> items = files::listNativeItems(path);
        refuseLinks(items, path);
        sortNotes(card, items);
        for (const NotesFile &notes : std::as_const(card.notesFiles)) {
            if (notes.size > notes::ReadLimit)
                refuse(joined(path, notes.name),
                       QStringLiteral("it is %1 bytes, more than the %2 bytes a contact's notes "
                                      "may hold; it is not read")
                           .arg(notes.size)
                           .arg(notes::ReadLimit));
        }
    }
    if (const files::NativeItem *photosFolder = findItem(top, photos::FolderName, card.folder);
        photosFolder && photosFolder->kind == files::NativeKind::Folder) {
        card.photosFolderName = photosFolder->name;
        const QString path = joined(card.folder, card.photosFolderName);
        const QList<files::NativeItem> items = files::listNativeItems(path);
        refuseLinks(items, path);
        sortPhotos(card, items);
        for (const PhotoFile &photo : std::as_const(card.photoFiles)) {
            if (photo.size > photos::FileLimit)
                refuse(joined(path, photo.name),
                       QStringLiteral("it is %1 bytes, more than the %2 bytes a photo file may "
                                      "hold; it is not read")
                           .arg(photo.size)
                           .arg(photos::FileLimit));
        }
    }
    finish(card, options, [&card](const QStringList &names) {
        std::vector<std::optional<QByteArray>> out;
        for (const QString &name : names)
            out.emplace_back(files::readNativeFileNoFollow(
                joined(joined(card.folder, card.notesFolderName), name), notes::ReadLimit + 1));
        return out;
    });
    return card;
}

QByteArray currentIndexBytes()
{
    return files::readBytes(paths::IndexFile);
}

QByteArray notesFileBytes(const CardFile &card, const NotesFile &notes)
{
    if (card.inDataFolder)
        return files::readBytesIfFilesIn(paths::NotesFolder, {notes.name}, notes::ReadLimit + 1)
            .front()
            .value_or(QByteArray());
    return files::readNativeFileNoFollow(
        joined(joined(card.folder, card.notesFolderName), notes.name), notes::ReadLimit + 1);
}

} // namespace cardomine::cardfile
