// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/adopt.h"

#include "datastore/cardfilereader.h"
#include "datastore/contactphotos.h"
#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexgrammar.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/recovered.h"
#include "datastore/repairplan.h"
#include "datastore/seal.h"
#include "interchange/cardfileid.h"
#include "platform/drive.h"
#include "platform/fileattributes.h"
#include "platform/files.h"
#include "tool/folderlock.h"

#include <QUuid>

#include <algorithm>
#include <memory>
#include <optional>

namespace cardomine::tool {

using namespace interchange;

namespace files = platform::files;

namespace {

const QString IdName = QStringLiteral("Cardomine.id");

// A source that cannot be adopted: the file, and what is wrong with it.
struct Malformed
{
    QString file;
    QString problem;
};

// The old card file, read whole before anything is changed.
struct Source
{
    bool inPlace = false;
    cardfile::CardFile card;
    QString folder; // native path, for messages
    QString dataName;
    QString indexName;
    QString notesFolder;
    QByteArray data;
    QByteArray index;
    QList<cardfile::NotesFile> notes;
    QStringList otherFiles; // files of the notes folder that are no contact's notes
    QString photosFolder;   // empty when the source has none
    QList<cardfile::PhotoFile> photos;
    QStringList otherPhotoFiles;
    std::optional<QByteArray> id;

    QString path(const QString &name) const { return folder + QLatin1Char('/') + name; }
    QString notesPath(const QString &name) const
    {
        return path(notesFolder + QLatin1Char('/') + name);
    }
};

// What the validation learnt about the card file.
struct Card
{
    QChar form;
    int count = 0;
    int records = 0;
    QStringList types;
};

Source sourceOf(cardfile::CardFile card, bool inPlace)
{
    Source source;
    source.inPlace = inPlace;
    source.folder = card.folder;
    source.dataName = card.dataName;
    source.indexName = card.indexName;
    source.notesFolder =
        card.notesFolderName.isEmpty() ? QStringLiteral("Contact Notes") : card.notesFolderName;
    source.data = card.dataBytes;
    source.index = card.indexBytes;
    source.notes = card.notesFiles.values();
    source.otherFiles = card.otherNotesFiles;
    source.photosFolder = card.photosFolderName;
    source.photos = card.photoFiles;
    source.otherPhotoFiles = card.otherPhotoFiles;
    source.id = card.cardFileId;
    if (!card.duplicateNotes.isEmpty()) {
        const QString &second = card.duplicateNotes.first();
        const int number = cardfile::notesNumber(second).value_or(0);
        throw Malformed{source.path(source.notesFolder),
                        QStringLiteral("it holds %1 and %2, two notes files of contact %3")
                            .arg(card.notesFiles.value(number).name, second)
                            .arg(number)};
    }
    source.card = std::move(card);
    return source;
}

constexpr cardfile::ReadOptions WholeCardFile{
    .extent = cardfile::Extent::WholeFile, .notes = cardfile::NotesText::Skip, .keepBytes = true};

Source readFolder(const QString &nativeFolder)
{
    try {
        return sourceOf(cardfile::readFolder(nativeFolder, WholeCardFile), false);
    } catch (const DataError &error) {
        throw Malformed{error.path(), error.problem()};
    }
}

QString nativeOf(const QString &programPath)
{
    return QString::fromLocal8Bit(platform::resolvePath(programPath).native);
}

Source readInPlace()
{
    const QString folder = nativeOf(paths::DataFolder);
    if (!files::fileExists(paths::DataFile))
        throw Malformed{folder, QStringLiteral("there is no Cardomine.Dat in it")};
    if (!files::fileExists(paths::IndexFile))
        throw Malformed{folder, QStringLiteral("there is no Index.tbl in it")};
    cardfile::CardFile card;
    try {
        card = cardfile::read(WholeCardFile);
    } catch (const DataError &error) {
        throw Malformed{nativeOf(paths::IndexFile), error.problem()};
    }
    card.folder = folder;
    card.dataName = nativeOf(paths::DataFile).section(QLatin1Char('/'), -1);
    card.indexName = nativeOf(paths::IndexFile).section(QLatin1Char('/'), -1);
    if (!card.notesFolderName.isEmpty())
        card.notesFolderName = nativeOf(paths::NotesFolder).section(QLatin1Char('/'), -1);
    return sourceOf(std::move(card), true);
}

// The index grammar and the rules the program reads it by.
Card checkIndex(const Source &source)
{
    const QString file = source.path(source.indexName);
    if (const std::optional<indexfile::Fault> fault = indexfile::grammarFault(source.index))
        throw Malformed{file, *fault};
    Card card;
    card.count = source.card.recordCount;
    card.form = source.card.fileType;
    card.types = source.card.index.typeNames();
    return card;
}

QString wrongNumber(int position, const ContactRecord &record)
{
    const QString id = record.ContactID.text().trimmed();
    return QStringLiteral("record %1 is stored under the number %2")
        .arg(position)
        .arg(id.isEmpty() ? QStringLiteral("(blank)") : QLatin1Char('"') + id + QLatin1Char('"'));
}

void checkData(const Source &source, Card &card)
{
    const QString file = source.path(source.dataName);
    if (card.form == QLatin1Char('S')) {
        QList<QByteArray> lines;
        if (const std::optional<indexfile::Fault> fault =
                indexfile::splitCrlfLines(source.data, lines))
            throw Malformed{file, *fault};
        const int per = ContactRecord::SequentialLineCount;
        if (lines.size() % per != 0)
            throw Malformed{file, QStringLiteral("it has %1 lines, which is not a whole number "
                                                 "of %2-line records (%3 lines over)")
                                      .arg(lines.size())
                                      .arg(per)
                                      .arg(lines.size() % per)};
    } else {
        const qsizetype size = source.data.size();
        if (size % ContactRecord::Length != 0)
            throw Malformed{file, QStringLiteral("it is %1 bytes, which is not a whole number of "
                                                 "%2-byte records (%3 bytes over)")
                                      .arg(size)
                                      .arg(ContactRecord::Length)
                                      .arg(size % ContactRecord::Length)};
    }
    card.records = source.card.dataRecords;
    for (int n = 1; n <= card.records && n <= ContactRecord::MaxNumber; ++n) {
        const cardfile::Contact *contact = source.card.atPosition(n);
        if (!contact)
            throw Malformed{file, wrongNumber(n, ContactRecord())};
        if (contact->record.contactNumber() != n)
            throw Malformed{file, wrongNumber(n, contact->record)};
    }
    if (card.records == 0)
        throw Malformed{file, QStringLiteral("it holds no record")};
    if (card.records > ContactRecord::MaxNumber)
        throw Malformed{file, QStringLiteral("it holds more than %1 records, the most the "
                                             "program can number")
                                  .arg(ContactRecord::MaxNumber)};
    if (card.count > card.records)
        throw Malformed{source.path(source.indexName),
                        QStringLiteral("the record count %1 is above the %2 records %3 holds")
                            .arg(card.count)
                            .arg(card.records)
                            .arg(source.dataName)};
}

void checkNotes(const Source &source, const Card &card)
{
    for (const cardfile::NotesFile &notes : source.notes) {
        if (notes.number > card.records)
            throw Malformed{source.notesPath(notes.name),
                            QStringLiteral("a notes file with no record (%1 holds records 1 to "
                                           "%2)")
                                .arg(source.dataName)
                                .arg(card.records)};
    }
    for (const cardfile::PhotoFile &photo : source.photos) {
        if (photo.number > card.records)
            throw Malformed{source.path(source.photosFolder + QLatin1Char('/') + photo.name),
                            QStringLiteral("a photo file with no record (%1 holds records 1 to "
                                           "%2)")
                                .arg(source.dataName)
                                .arg(card.records)};
    }
    if (source.id && (source.id->size() > 256 ||
                      QUuid::fromString(QString::fromLatin1(source.id->trimmed())).isNull()))
        throw Malformed{source.path(IdName), QStringLiteral("it holds no card file identifier")};
}

QString photoCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 photo file")
                      : QStringLiteral("%1 photo files").arg(count);
}

QStringList describe(const Source &source, const Card &card)
{
    QStringList found;
    found.append(QStringLiteral("%1: %2 type%3 (%4), record count %5, %6 form")
                     .arg(source.path(source.indexName))
                     .arg(card.types.size())
                     .arg(card.types.size() == 1 ? QString() : QStringLiteral("s"))
                     .arg(card.types.join(QStringLiteral(", ")))
                     .arg(card.count)
                     .arg(card.form == QLatin1Char('S') ? QStringLiteral("sequential")
                                                        : QStringLiteral("random")));
    found.append(QStringLiteral("%1: %2 bytes, records 1 to %3, each under its own number")
                     .arg(source.path(source.dataName))
                     .arg(source.data.size())
                     .arg(card.records));
    if (card.count < card.records)
        found.append(QStringLiteral("records %1 to %2 lie beyond the record count: the program "
                                    "keeps them but does not show them")
                         .arg(card.count + 1)
                         .arg(card.records));
    found.append(QStringLiteral("%1: %2 notes file%3, each with its record")
                     .arg(source.path(source.notesFolder))
                     .arg(source.notes.size())
                     .arg(source.notes.size() == 1 ? QString() : QStringLiteral("s")));
    if (!source.otherFiles.isEmpty())
        found.append(QStringLiteral("not notes files, left where they are: %1")
                         .arg(source.otherFiles.join(QStringLiteral(", "))));
    if (!source.photosFolder.isEmpty())
        found.append(QStringLiteral("%1: %2, each with its record")
                         .arg(source.path(source.photosFolder), photoCount(source.photos.size())));
    if (!source.otherPhotoFiles.isEmpty())
        found.append(QStringLiteral("not photo files, left where they are: %1")
                         .arg(source.otherPhotoFiles.join(QStringLiteral(", "))));
    if (!source.inPlace)
        found.append(source.id
                         ? QStringLiteral("%1: the card file's identifier").arg(source.path(IdName))
                         : QStringLiteral("no %1: the card file gets a new identifier at "
                                          "its first export")
                               .arg(IdName));
    return found;
}

QString notesCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 notes file")
                      : QStringLiteral("%1 notes files").arg(count);
}

QString photosInstalled(const Source &source)
{
    return source.photos.isEmpty() ? QString()
                                   : QStringLiteral("; ") + photoCount(source.photos.size());
}

// A program path inside the data folder as the user finds it there.
QString shown(const QString &programPath)
{
    QString rest = programPath.mid(paths::DataFolder.size() + 1);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return rest;
}

QStringList notesInPlace()
{
    QStringList names;
    if (!files::folderExists(paths::NotesFolder))
        return names;
    for (const QString &name : files::listFiles(paths::NotesFolder)) {
        if (cardfile::notesNumber(name))
            names.append(name);
    }
    return names;
}

// The card file in place is sealed where it lies, inside a pending-work marker that
// names it as it is: a start after a kill at any step seals it the same way.
void sealInPlace(const Source &source, AdoptResult &result)
{
    pendingwork::Expected expected;
    expected.dataSizes = {source.data.size()};
    expected.indexVersions = {source.index};
    pendingwork::begin(expected);
    files::setAttributes(paths::DataFile, seal::DataFile);
    files::setAttributes(paths::IndexFile, seal::IndexFile);
    pendingwork::end();
    result.changed = true;
    result.done.append(
        QStringLiteral("sealed %1 and %2 where they are").arg(source.dataName, source.indexName));
}

// Puts the adopted card file in place of the one there. Each step leaves files the
// next start loses nothing from. The card file in place is copied to Recovered/
// before anything else, its notes are moved there before the new ones are written.
// The old data and index files are set to normal (as every writer of the program
// does) under a marker that names them as they are, so a start meanwhile seals them
// again; the new files, flushed beside their names, are put in place by two renames
// right after a marker that names them, so a start after the renames seals those.
// Only a kill between that marker and the second rename leaves files the start
// repairs, setting them aside in Recovered/. The source folder is only read.
void install(const Source &source, AdoptResult &result)
{
    if (!files::folderExists(paths::NotesFolder))
        files::createFolder(paths::NotesFolder);

    const bool oldData = files::fileExists(paths::DataFile);
    const bool oldIndex = files::fileExists(paths::IndexFile);
    for (const QString &path : {paths::DataFile, paths::IndexFile}) {
        if (files::fileExists(path))
            result.done.append(QStringLiteral("copied %1 to %2")
                                   .arg(shown(path), shown(recovered::keepCopy(path))));
    }
    // Only a sealed pair is named: files whose seal is already broken stay as the start
    // would find them without this run.
    if (oldData && oldIndex && files::attributes(paths::DataFile) == seal::DataFile &&
        files::attributes(paths::IndexFile) == seal::IndexFile) {
        pendingwork::Expected asTheyAre;
        asTheyAre.dataSizes = {files::fileSize(paths::DataFile)};
        asTheyAre.indexVersions = {cardfile::currentIndexBytes()};
        pendingwork::begin(asTheyAre);
    }
    result.changed = true;
    if (oldData)
        files::setAttributes(paths::DataFile, platform::Normal);
    if (oldIndex)
        files::setAttributes(paths::IndexFile, platform::Normal);

    files::PreparedReplacement data =
        files::PreparedReplacement::prepare(paths::DataFile, source.data);
    files::PreparedReplacement index =
        files::PreparedReplacement::prepare(paths::IndexFile, source.index);

    const QStringList oldNotes = notesInPlace();
    for (const QString &name : oldNotes)
        recovered::setAside(paths::NotesFolder + QLatin1Char('\\') + name);
    if (!oldNotes.isEmpty())
        result.done.append(QStringLiteral("moved %1 of the card file that was in place to "
                                          "Recovered/")
                               .arg(notesCount(oldNotes.size())));
    // Every notes file of the card file in place has just gone to Recovered/, so the
    // adopted ones are new files, written together and made durable with one flush.
    files::PreparedReplacements adoptedNotes;
    for (const cardfile::NotesFile &notes : source.notes)
        adoptedNotes.addNew(paths::NotesFolder, notes::fileName(notes.number),
                            cardfile::notesFileBytes(source.card, notes));
    adoptedNotes.commit();

    // The photos go the same way: those in place to Recovered/, the adopted ones new.
    const QStringList oldPhotos = photos::contactFiles();
    for (const QString &name : oldPhotos)
        recovered::setAside(paths::PhotosFolder + QLatin1Char('\\') + name);
    if (!oldPhotos.isEmpty())
        result.done.append(QStringLiteral("moved %1 of the card file that was in place to "
                                          "Recovered/")
                               .arg(photoCount(oldPhotos.size())));
    if (!source.photos.isEmpty()) {
        if (!files::folderExists(paths::PhotosFolder))
            files::createFolder(paths::PhotosFolder);
        files::PreparedReplacements adoptedPhotos;
        for (const cardfile::PhotoFile &photo : source.photos)
            adoptedPhotos.addNew(paths::PhotosFolder, photo.name,
                                 cardfile::photoFileBytes(source.card, photo));
        adoptedPhotos.commit();
    }

    if (files::fileExists(cardFileIdPath()))
        result.done.append(
            QStringLiteral("moved %1 to %2")
                .arg(shown(cardFileIdPath()), shown(recovered::setAside(cardFileIdPath()))));
    if (source.id)
        files::replaceBytes(cardFileIdPath(), *source.id);

    pendingwork::Expected adopted;
    adopted.dataSizes = {source.data.size()};
    adopted.indexVersions = {source.index};
    pendingwork::begin(adopted);
    data.commit();
    index.commit();
    files::setAttributes(paths::DataFile, seal::DataFile);
    files::setAttributes(paths::IndexFile, seal::IndexFile);
    pendingwork::end();

    result.done.append(QStringLiteral("installed %1 and %2, sealed; %3 notes file%4%5%6")
                           .arg(shown(paths::DataFile), shown(paths::IndexFile))
                           .arg(source.notes.size())
                           .arg(source.notes.size() == 1 ? QString() : QStringLiteral("s"))
                           .arg(photosInstalled(source))
                           .arg(source.id ? QStringLiteral("; ") + IdName : QString()));
}

void describeInstall(const Source &source, AdoptResult &result)
{
    for (const QString &path : {paths::DataFile, paths::IndexFile}) {
        if (files::folderExists(paths::DataFolder) && files::fileExists(path))
            result.done.append(QStringLiteral("would copy %1 to Recovered/").arg(shown(path)));
    }
    const QStringList oldNotes = notesInPlace();
    if (!oldNotes.isEmpty())
        result.done.append(QStringLiteral("would move %1 of the card file in place to "
                                          "Recovered/")
                               .arg(notesCount(oldNotes.size())));
    if (files::folderExists(paths::DataFolder) && files::fileExists(cardFileIdPath()))
        result.done.append(
            QStringLiteral("would move %1 to Recovered/").arg(shown(cardFileIdPath())));
    const qsizetype oldPhotos = photos::contactFiles().size();
    if (oldPhotos > 0)
        result.done.append(QStringLiteral("would move %1 of the card file in place to "
                                          "Recovered/")
                               .arg(photoCount(oldPhotos)));
    result.done.append(QStringLiteral("would install %1 and %2, sealed; %3 notes file%4%5%6")
                           .arg(shown(paths::DataFile), shown(paths::IndexFile))
                           .arg(source.notes.size())
                           .arg(source.notes.size() == 1 ? QString() : QStringLiteral("s"))
                           .arg(photosInstalled(source))
                           .arg(source.id ? QStringLiteral("; ") + IdName : QString()));
}

} // namespace

AdoptResult adopt(const AdoptOptions &options)
{
    AdoptResult result;
    const bool inPlace =
        options.folder.isEmpty() || files::isSameFolder(options.folder, paths::DataFolder);
    // A dry run must not create the data folder, which taking the lock would.
    std::unique_ptr<platform::InstanceLock> lock;
    const auto takeLock = [&] {
        if (!lock && (!options.dryRun || files::folderExists(paths::DataFolder)))
            lock = lockDataFolder();
    };
    try {
        Source source;
        if (inPlace) {
            if (!files::folderExists(paths::DataFolder))
                throw Malformed{nativeOf(paths::DataFolder),
                                QStringLiteral("there is no data folder to adopt")};
            takeLock();
            source = readInPlace();
        } else {
            source = readFolder(options.folder);
        }
        Card card = checkIndex(source);
        checkData(source, card);
        checkNotes(source, card);
        result.found = describe(source, card);

        if (inPlace) {
            // Adopted in place is only what the next start would set aside for its seal.
            const repairplan::RepairPlan plan = repairplan::plan(repairplan::observeFolder());
            const bool setAside =
                std::any_of(plan.steps.cbegin(), plan.steps.cend(), [](const auto &step) {
                    return step.kind == repairplan::StepKind::MoveIndexAside ||
                           step.kind == repairplan::StepKind::MoveDataFileAside;
                });
            if (!setAside) {
                result.done.append(plan.visibleSteps().isEmpty()
                                       ? QStringLiteral("the card file in place keeps its seal: "
                                                        "nothing to adopt")
                                       : QStringLiteral("the next start keeps the card file in "
                                                        "place as it is: nothing to adopt"));
                return result;
            }
            if (options.dryRun)
                result.done.append(QStringLiteral("would seal %1 and %2 where they are")
                                       .arg(source.dataName, source.indexName));
            else
                sealInPlace(source, result);
            return result;
        }
        takeLock();
        if (options.dryRun)
            describeInstall(source, result);
        else
            install(source, result);
    } catch (const Malformed &malformed) {
        result.fault = malformed.file + QStringLiteral(": ") + malformed.problem;
        result.found.clear();
        result.done.clear();
    }
    return result;
}

} // namespace cardomine::tool
