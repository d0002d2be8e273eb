// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/check.h"

#include "datastore/cardfilereader.h"
#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "datastore/repairplan.h"
#include "datastore/seal.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace cardomine::tool {

namespace files = platform::files;
using namespace Qt::StringLiterals;

namespace {

constexpr int SealedIndex = seal::IndexFile;
constexpr int SealedData = seal::DataFile;
constexpr std::int64_t SequentialReadLimit = 64 * 1024;

QString markerText(const repairplan::FolderState &s)
{
    switch (s.markerFinding) {
    case pendingwork::Finding::None:
        break;
    case pendingwork::Finding::Foreign:
        return QStringLiteral("Cardomine.pending: work was cut short, and the files are not in a "
                              "state it names (or the marker does not parse)");
    case pendingwork::Finding::Named:
        return QStringLiteral("Cardomine.pending: work was cut short; the files are as it left "
                              "them");
    case pendingwork::Finding::TornWrite:
        return QStringLiteral("Cardomine.pending: work was cut short during a record write, "
                              "which can be put back");
    }
    return QString();
}

QString sealText(int attributes, int sealed)
{
    return attributes == sealed ? QStringLiteral("seal holds")
                                : QStringLiteral("seal broken (should be %1, %2)")
                                      .arg(sealed)
                                      .arg(describeAttributes(sealed));
}

QString fileLine(const QString &name, int attributes, int sealed)
{
    return QStringLiteral("%1: attributes %2 (%3), %4")
        .arg(name)
        .arg(attributes)
        .arg(describeAttributes(attributes), sealText(attributes, sealed));
}

// Record count, numbering and notes of an intact pair of files. Returns a problem
// that would stop the start, if any.
std::optional<QString> examineContents(CheckReport &report)
{
    cardfile::CardFile card;
    try {
        card = cardfile::read({.extent = cardfile::Extent::WholeFile,
                               .records = cardfile::RecordText::NumberOnly,
                               .notes = cardfile::NotesText::Skip,
                               .notesFileFacts = false});
    } catch (const DataError &error) {
        return error.message();
    }
    if (!card.fileTypeLine)
        report.findings.append(
            QStringLiteral("Index.tbl has no file-type line; the program takes the random form"));

    std::vector<bool> numbers(ContactRecord::MaxNumber + 1); // the numbers records hold
    for (const std::optional<int> &id : std::as_const(card.numbers)) {
        if (id)
            numbers[std::size_t(*id)] = true;
    }
    const int count = card.recordCount;
    std::optional<QString> stop;
    if (card.fileType == u'S') {
        const int per = ContactRecord::SequentialLineCount;
        report.findings.append(
            QStringLiteral("Record count: %1 (sequential form); the data file holds %2 complete "
                           "records in %3 lines (%4 bytes)")
                .arg(count)
                .arg(card.sequentialLines / per)
                .arg(card.sequentialLines)
                .arg(card.dataSize));
        if (card.sequentialLines % per != 0)
            report.findings.append(QStringLiteral("the data file ends with %1 lines that make "
                                                  "no complete record")
                                       .arg(card.sequentialLines % per));
        // The start reads the first record from a bounded prefix of the file.
        if (platform::text::splitLines(files::readBytes(paths::DataFile, SequentialReadLimit))
                .size() < per)
            stop = QStringLiteral("the sequential data file holds fewer than twelve lines");
    } else {
        const std::int64_t size = card.dataSize;
        const std::int64_t whole = size / ContactRecord::Length;
        QString line = QStringLiteral("Record count: %1 (random form); the data file is %2 bytes, "
                                      "%3 whole records")
                           .arg(count)
                           .arg(size)
                           .arg(whole);
        if (size % ContactRecord::Length != 0)
            line += QStringLiteral(" and %1 bytes over").arg(size % ContactRecord::Length);
        report.findings.append(line);
        if (whole > count)
            report.findings.append(QStringLiteral("records %1 to %2 lie beyond the record count "
                                                  "and are not shown by the program")
                                       .arg(count + 1)
                                       .arg(whole));
        if (count > whole)
            report.findings.append(QStringLiteral("records %1 to %2 lie beyond the end of the "
                                                  "data file and read as blank records")
                                       .arg(whole + 1)
                                       .arg(count));
        // Records cut short at the file's end are reported above, not here.
        QStringList mismatched;
        const int last = int(std::min<std::int64_t>(whole, ContactRecord::MaxNumber));
        for (int n = 1; n <= last; ++n) {
            if (card.numbers.value(n - 1) == n)
                continue;
            // The record's number as it stands; none for a blank record. Only these few
            // records are read again: the file is not held whole.
            const QByteArray bytes = files::readRecord(paths::DataFile, n, ContactRecord::Length);
            ContactRecord record;
            if (!cardfile::isBlankRandomRecord(bytes))
                record.setFromRandomBytes(bytes);
            mismatched.append(
                QStringLiteral("%1 (number \"%2\")").arg(n).arg(record.ContactID.text().trimmed()));
        }
        report.findings.append(
            mismatched.isEmpty()
                ? QStringLiteral("Records whose number does not match their position: none")
                : QStringLiteral("Records whose number does not match their position: ") +
                      mismatched.join(QStringLiteral(", ")));
    }

    if (!card.photosFolderName.isEmpty()) {
        QStringList strays = card.otherPhotoFiles;
        for (const cardfile::PhotoFile &photo : std::as_const(card.photoFiles)) {
            if (!numbers[std::size_t(photo.number)])
                strays.append(photo.name);
        }
        report.findings.append(QStringLiteral("Contact Photos folder: %1 photo file%2")
                                   .arg(card.photoFiles.size())
                                   .arg(card.photoFiles.size() == 1 ? QString() : u"s"_s));
        report.findings.append(strays.isEmpty() ? QStringLiteral("Photo files with no record: none")
                                                : QStringLiteral("Photo files with no record: ") +
                                                      strays.join(QStringLiteral(", ")));
    }
    if (card.notesFolderName.isEmpty()) {
        report.findings.append(QStringLiteral("Contact Notes folder: missing"));
        return stop;
    }
    QStringList orphans = card.otherNotesFiles + card.duplicateNotes;
    for (const cardfile::NotesFile &notes : std::as_const(card.notesFiles)) {
        if (!numbers[std::size_t(notes.number)])
            orphans.append(notes.name);
    }
    orphans.sort();
    report.findings.append(orphans.isEmpty() ? QStringLiteral("Notes files with no record: none")
                                             : QStringLiteral("Notes files with no record: ") +
                                                   orphans.join(QStringLiteral(", ")));
    return stop;
}

} // namespace

QString describeAttributes(int attributes)
{
    QStringList names;
    if (attributes & platform::ReadOnly)
        names.append(QStringLiteral("read-only"));
    if (attributes & platform::Hidden)
        names.append(QStringLiteral("hidden"));
    if (attributes & platform::System)
        names.append(QStringLiteral("system"));
    if (attributes & platform::Archive)
        names.append(QStringLiteral("archive"));
    return names.isEmpty() ? QStringLiteral("normal") : names.join(QStringLiteral(", "));
}

CheckReport checkDataFolder()
{
    CheckReport report;
    const repairplan::FolderState f = repairplan::observeFolder();
    if (!f.dataFolder) {
        report.findings.append(QStringLiteral("Data folder: missing (the next start is a first "
                                              "run)"));
    } else {
        report.findings.append(QStringLiteral("Data folder: present"));
    }

    if (f.index) {
        report.findings.append(
            fileLine(QStringLiteral("Index.tbl"), f.indexAttributes, SealedIndex));
    } else if (f.dataFolder) {
        report.findings.append(QStringLiteral("Index.tbl: missing"));
    }
    if (f.data) {
        report.findings.append(
            fileLine(QStringLiteral("Cardomine.Dat"), f.dataAttributes, SealedData));
    } else if (f.dataFolder) {
        report.findings.append(QStringLiteral("Cardomine.Dat: missing"));
    }
    if (f.marker)
        report.findings.append(markerText(f));

    report.plan = repairplan::plan(f);
    for (const repairplan::Step &step : report.plan.visibleSteps())
        report.startActions.append(repairplan::describe(step));
    for (const repairplan::Notice &notice : report.plan.notices())
        report.messageTitles.append(notice.title);
    // The files as they are now; a start that rebuilds them reads fresh ones instead.
    if (f.index && f.data) {
        const std::optional<QString> stop = examineContents(report);
        if (stop && report.startActions.isEmpty())
            report.startActions.append(QStringLiteral("stop with \"Cardomine Cannot Start\": ") +
                                       *stop);
    }
    report.startWouldChange = !report.startActions.isEmpty();
    return report;
}

} // namespace cardomine::tool
