#include "tool/check.h"

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
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
    IndexTable table;
    int count = 0;
    try {
        table = indexfile::read();
        count = indexfile::recordCount(table);
    } catch (const DataError &error) {
        return error.message();
    }
    const bool sequential = indexfile::fileTypeLetter(table) == QLatin1String("S");
    if (!indexfile::fileType(table))
        report.findings.append(
            QStringLiteral("Index.tbl has no file-type line; the program takes the random form"));
    const std::int64_t size = files::fileSize(paths::DataFile);

    std::vector<bool> numbers(ContactRecord::MaxNumber + 1); // the numbers records hold
    QStringList mismatched;
    std::optional<QString> stop;
    if (sequential) {
        const QStringList lines = platform::text::splitLines(files::readBytes(paths::DataFile));
        const qsizetype records = lines.size() / ContactRecord::SequentialLineCount;
        report.findings.append(
            QStringLiteral("Record count: %1 (sequential form); the data file holds %2 complete "
                           "records in %3 lines (%4 bytes)")
                .arg(count)
                .arg(records)
                .arg(lines.size())
                .arg(size));
        if (lines.size() % ContactRecord::SequentialLineCount != 0)
            report.findings.append(QStringLiteral("the data file ends with %1 lines that make "
                                                  "no complete record")
                                       .arg(lines.size() % ContactRecord::SequentialLineCount));
        // The start reads the first record from a bounded prefix of the file.
        if (platform::text::splitLines(files::readBytes(paths::DataFile, SequentialReadLimit))
                .size() < ContactRecord::SequentialLineCount)
            stop = QStringLiteral("the sequential data file holds fewer than twelve lines");
        for (qsizetype n = 0; n < records; ++n) {
            ContactRecord record;
            record.setFromSequentialLines(lines.mid(n * ContactRecord::SequentialLineCount,
                                                    ContactRecord::SequentialLineCount));
            if (const auto id = record.contactNumber())
                numbers[std::size_t(*id)] = true;
        }
    } else {
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
        const std::int64_t last =
            std::min<std::int64_t>(std::max<std::int64_t>(whole, count), ContactRecord::MaxNumber);
        // Read through one buffer of whole records; a record past the file's end reads
        // as spaces, as readRecord gives it, so it holds no number.
        std::int64_t n = 0;
        files::readInChunks(
            paths::DataFile, last * ContactRecord::Length, qsizetype(ContactRecord::Length) * 256,
            [&](QByteArrayView bytes) {
                for (qsizetype at = 0; at < bytes.size(); at += ContactRecord::Length) {
                    ++n;
                    const auto id = ContactRecord::numberInRandomBytes(bytes, at);
                    if (id)
                        numbers[std::size_t(*id)] = true;
                    if (n > whole)
                        continue; // cut short at the end: reported above
                    if (!id || *id != n) {
                        ContactRecord record;
                        record.setFromRandomBytes(
                            bytes.sliced(at, ContactRecord::Length).toByteArray());
                        mismatched.append(QStringLiteral("%1 (number \"%2\")")
                                              .arg(n)
                                              .arg(record.ContactID.text().trimmed()));
                    }
                }
            });
        report.findings.append(
            mismatched.isEmpty()
                ? QStringLiteral("Records whose number does not match their position: none")
                : QStringLiteral("Records whose number does not match their position: ") +
                      mismatched.join(QStringLiteral(", ")));
    }

    if (!files::folderExists(paths::NotesFolder)) {
        report.findings.append(QStringLiteral("Contact Notes folder: missing"));
        return stop;
    }
    QStringList orphans;
    const QStringList names = files::listFiles(paths::NotesFolder);
    for (const QString &name : names) {
        const std::optional<int> id = name.endsWith(QLatin1String(".txt"))
                                          ? ContactRecord::parseNumber(name.chopped(4))
                                          : std::nullopt;
        if (!id || !numbers[std::size_t(*id)])
            orphans.append(name);
    }
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
