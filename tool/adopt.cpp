#include "tool/adopt.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
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
#include "platform/textcodec.h"
#include "tool/folderlock.h"

#include <QHash>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace cardomine::tool {

using namespace interchange;

namespace files = platform::files;
namespace text = platform::text;

namespace {

const QString DataName = QStringLiteral("Cardomine.Dat");
const QString IndexName = QStringLiteral("Index.tbl");
const QString NotesFolderName = QStringLiteral("Contact Notes");
const QString IdName = QStringLiteral("Cardomine.id");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// A source that cannot be adopted: the file, and what is wrong with it.
struct Malformed
{
    QString file;
    QString problem;
};

struct NotesFile
{
    int number = 0;
    QString name;   // as spelt in the source
    QString source; // native path (a folder elsewhere) or program path (in place)
};

// The old card file, read whole before anything is changed.
struct Source
{
    bool inPlace = false;
    QString folder; // native path, for messages
    QString dataName = DataName;
    QString indexName = IndexName;
    QString notesFolder = NotesFolderName;
    QByteArray data;
    QByteArray index;
    QList<NotesFile> notes;
    QStringList otherFiles; // files of the notes folder that are no contact's notes
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

// The one name in `names` that is `wanted` in some letter case; nothing when there is
// none. Two such names leave no way to tell which one is meant.
std::optional<QString> findName(const QStringList &names, const QString &wanted,
                                const QString &folder)
{
    QStringList hits;
    for (const QString &name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            hits.append(name);
    }
    if (hits.size() > 1)
        throw Malformed{folder, QStringLiteral("it holds %1: more than one %2 in different letter "
                                               "case, so it is not clear which one is meant")
                                    .arg(hits.join(QStringLiteral(", ")), wanted)};
    if (hits.isEmpty())
        return std::nullopt;
    return hits.first();
}

// The contact number a notes file name gives: "<n>.txt" in any letter case, n written
// as the program writes it (no sign, no leading zeros).
std::optional<int> notesNumber(const QString &name)
{
    if (!name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        return std::nullopt;
    const QString digits = name.chopped(4);
    const std::optional<int> number = ContactRecord::parseNumber(digits);
    if (!number || *number < 1 || QString::number(*number) != digits)
        return std::nullopt;
    return number;
}

// Sorts the notes folder's names into notes files and others; two names for the same
// contact's notes are a fault.
void sortNotes(Source &source, const QStringList &names, const QString &folderForMessages,
               const std::function<QString(const QString &)> &sourcePath)
{
    QHash<int, QString> seen;
    for (const QString &name : names) {
        const std::optional<int> number = notesNumber(name);
        if (!number) {
            source.otherFiles.append(name);
            continue;
        }
        if (seen.contains(*number))
            throw Malformed{folderForMessages,
                            QStringLiteral("it holds %1 and %2, two notes files of contact %3")
                                .arg(seen.value(*number), name)
                                .arg(*number)};
        seen.insert(*number, name);
        source.notes.append({*number, name, sourcePath(name)});
    }
    std::sort(source.notes.begin(), source.notes.end(),
              [](const NotesFile &a, const NotesFile &b) { return a.number < b.number; });
}

Source readFolder(const QString &nativeFolder)
{
    Source source;
    source.folder = nativeFolder;
    while (source.folder.size() > 1 && source.folder.endsWith(QLatin1Char('/')))
        source.folder.chop(1);
    const files::NativeListing listing = files::listNativeFolder(source.folder);

    const std::optional<QString> data = findName(listing.files, DataName, source.folder);
    const std::optional<QString> index = findName(listing.files, IndexName, source.folder);
    if (!data)
        throw Malformed{source.folder, QStringLiteral("there is no %1 in it").arg(DataName)};
    if (!index)
        throw Malformed{source.folder, QStringLiteral("there is no %1 in it").arg(IndexName)};
    source.dataName = *data;
    source.indexName = *index;
    source.data = files::readNativeFile(source.path(*data));
    source.index = files::readNativeFile(source.path(*index));
    if (const std::optional<QString> id = findName(listing.files, IdName, source.folder))
        source.id = files::readNativeFile(source.path(*id));

    if (const std::optional<QString> notes =
            findName(listing.folders, NotesFolderName, source.folder)) {
        source.notesFolder = *notes;
        const QString folder = source.path(*notes);
        sortNotes(
            source, files::listNativeFolder(folder).files, folder,
            [folder](const QString &name) -> QString { return folder + QLatin1Char('/') + name; });
    }
    return source;
}

QString nativeOf(const QString &programPath)
{
    return QString::fromLocal8Bit(platform::resolvePath(programPath).native);
}

Source readInPlace()
{
    Source source;
    source.inPlace = true;
    source.folder = nativeOf(paths::DataFolder);
    if (!files::fileExists(paths::DataFile))
        throw Malformed{source.folder, QStringLiteral("there is no %1 in it").arg(DataName)};
    if (!files::fileExists(paths::IndexFile))
        throw Malformed{source.folder, QStringLiteral("there is no %1 in it").arg(IndexName)};
    source.dataName = nativeOf(paths::DataFile).section(QLatin1Char('/'), -1);
    source.indexName = nativeOf(paths::IndexFile).section(QLatin1Char('/'), -1);
    source.data = files::readBytes(paths::DataFile);
    source.index = files::readBytes(paths::IndexFile);
    if (files::folderExists(paths::NotesFolder)) {
        source.notesFolder = nativeOf(paths::NotesFolder).section(QLatin1Char('/'), -1);
        sortNotes(source, files::listFiles(paths::NotesFolder), nativeOf(paths::NotesFolder),
                  [](const QString &name) -> QString {
                      return paths::NotesFolder + QLatin1Char('\\') + name;
                  });
    }
    return source;
}

// Splits a text file into its lines, each of which must end in CR LF.
QList<QByteArray> crlfLines(const QByteArray &bytes, const QString &file)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf(LineEnd, start);
        const QByteArray line = bytes.mid(start, end < 0 ? -1 : end - start);
        const int number = int(lines.size()) + 1;
        if (line.contains('\r') || line.contains('\n'))
            throw Malformed{
                file, QStringLiteral("line %1 ends in a lone CR or LF, not CR LF").arg(number)};
        if (end < 0)
            throw Malformed{
                file, QStringLiteral("its last line (line %1) does not end in CR LF").arg(number)};
        lines.append(line);
        start = end + LineEnd.size();
    }
    return lines;
}

// The index grammar, line by line, and the rules the program reads it by.
Card checkIndex(const Source &source)
{
    const QString file = source.path(source.indexName);
    const QList<QByteArray> raw = crlfLines(source.index, file);
    if (raw.isEmpty())
        throw Malformed{file, QStringLiteral("it is empty")};
    QStringList lines;
    for (int i = 0; i < raw.size(); ++i) {
        const QString line = text::decode(raw.at(i));
        // The program reads each line as one comma-delimited item.
        if (line.contains(QLatin1Char(',')) || line.contains(QLatin1Char('"')))
            throw Malformed{file, QStringLiteral("line %1 \"%2\" holds a comma or a quotation "
                                                 "mark, which would split it in two")
                                      .arg(i + 1)
                                      .arg(line)};
        lines.append(line);
    }
    const auto lineFault = [&](int number, const QString &needs) {
        return Malformed{file, QStringLiteral("line %1 \"%2\" is not %3")
                                   .arg(number)
                                   .arg(lines.at(number - 1), needs)};
    };

    static const QRegularExpression typesLine(QStringLiteral("^Num_Of_Types=([0-9])$"));
    const QRegularExpressionMatch types = typesLine.match(lines.first());
    if (!types.hasMatch())
        throw lineFault(1, QStringLiteral("\"Num_Of_Types=\" followed by one digit"));
    const int k = types.captured(1).toInt();
    if (lines.size() < k + 3)
        throw Malformed{file, QStringLiteral("it has %1 lines; with %2 types it needs %3 (the "
                                             "types, the record count and the file type)")
                                  .arg(lines.size())
                                  .arg(k)
                                  .arg(k + 3)};
    if (lines.size() > k + 3)
        throw Malformed{file, QStringLiteral("line %1 follows the file-type line; the file ends "
                                             "there")
                                  .arg(k + 4)};

    Card card;
    for (int i = 2; i <= k + 1; ++i) {
        const QString &line = lines.at(i - 1);
        if (!line.startsWith(QLatin1String("Data_Type=")) || line.size() == 10)
            throw lineFault(i, QStringLiteral("\"Data_Type=\" followed by a type name"));
        // The file-type rule takes the first line ending in an upper-case S or R.
        if (line.endsWith(QLatin1Char('S')) || line.endsWith(QLatin1Char('R')))
            throw Malformed{file, QStringLiteral("line %1: the type name \"%2\" ends in an "
                                                 "upper-case %3, which the program would take "
                                                 "for the file type")
                                      .arg(i)
                                      .arg(line.mid(10), line.right(1))};
    }
    static const QRegularExpression countLine(QStringLiteral("^Num_Of_Records=[0-9]{1,6}$"));
    if (!countLine.match(lines.at(k + 1)).hasMatch())
        throw lineFault(k + 2, QStringLiteral("\"Num_Of_Records=\" followed by the record count"));
    if (lines.at(k + 2) != QLatin1String("File_Type=R") &&
        lines.at(k + 2) != QLatin1String("File_Type=S"))
        throw lineFault(k + 3, QStringLiteral("\"File_Type=R\" or \"File_Type=S\""));

    // The grammar holds; the program's own reading must now agree with it.
    const IndexTable table = indexfile::parse(source.index);
    try {
        card.count = indexfile::recordCount(table);
    } catch (const DataError &error) {
        throw Malformed{file, QStringLiteral("line %1: %2").arg(k + 2).arg(error.problem())};
    }
    card.form = indexfile::fileType(table).value_or(QLatin1Char('R'));
    card.types = table.typeNames();
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
        const QList<QByteArray> lines = crlfLines(source.data, file);
        const int per = ContactRecord::SequentialLineCount;
        if (lines.size() % per != 0)
            throw Malformed{file, QStringLiteral("it has %1 lines, which is not a whole number "
                                                 "of %2-line records (%3 lines over)")
                                      .arg(lines.size())
                                      .arg(per)
                                      .arg(lines.size() % per)};
        card.records = int(std::min<qsizetype>(lines.size() / per, ContactRecord::MaxNumber + 1));
        for (int n = 1; n <= card.records && n <= ContactRecord::MaxNumber; ++n) {
            QStringList fields;
            for (int i = 0; i < per; ++i)
                fields.append(text::decode(lines.at((n - 1) * per + i)));
            ContactRecord record;
            record.setFromSequentialLines(fields);
            if (record.contactNumber() != n)
                throw Malformed{file, wrongNumber(n, record)};
        }
    } else {
        const qsizetype size = source.data.size();
        if (size % ContactRecord::Length != 0)
            throw Malformed{file, QStringLiteral("it is %1 bytes, which is not a whole number of "
                                                 "%2-byte records (%3 bytes over)")
                                      .arg(size)
                                      .arg(ContactRecord::Length)
                                      .arg(size % ContactRecord::Length)};
        card.records =
            int(std::min<qsizetype>(size / ContactRecord::Length, ContactRecord::MaxNumber + 1));
        for (int n = 1; n <= card.records && n <= ContactRecord::MaxNumber; ++n) {
            ContactRecord record;
            record.setFromRandomBytes(
                source.data.mid(qsizetype(n - 1) * ContactRecord::Length, ContactRecord::Length));
            if (record.contactNumber() != n)
                throw Malformed{file, wrongNumber(n, record)};
        }
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
    for (const NotesFile &notes : source.notes) {
        if (notes.number > card.records)
            throw Malformed{source.notesPath(notes.name),
                            QStringLiteral("a notes file with no record (%1 holds records 1 to "
                                           "%2)")
                                .arg(source.dataName)
                                .arg(card.records)};
    }
    if (source.id && (source.id->size() > 256 ||
                      QUuid::fromString(QString::fromLatin1(source.id->trimmed())).isNull()))
        throw Malformed{source.path(IdName), QStringLiteral("it holds no card file identifier")};
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
        if (notesNumber(name))
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
        asTheyAre.indexVersions = {files::readBytes(paths::IndexFile)};
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
    for (const NotesFile &notes : source.notes)
        adoptedNotes.addNew(paths::NotesFolder, notes::fileName(notes.number),
                            files::readNativeFile(notes.source));
    adoptedNotes.commit();

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

    result.done.append(QStringLiteral("installed %1 and %2, sealed; %3 notes file%4%5")
                           .arg(shown(paths::DataFile), shown(paths::IndexFile))
                           .arg(source.notes.size())
                           .arg(source.notes.size() == 1 ? QString() : QStringLiteral("s"))
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
    result.done.append(QStringLiteral("would install %1 and %2, sealed; %3 notes file%4%5")
                           .arg(shown(paths::DataFile), shown(paths::IndexFile))
                           .arg(source.notes.size())
                           .arg(source.notes.size() == 1 ? QString() : QStringLiteral("s"))
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
