// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// cardomine-tool import: contacts from vCard and CSV files appended to the card file
// as new records, in one batch, with the duplicates left out.
namespace cardomine::tool {

enum class ImportFormat
{
    FromContent, // a file starting with BEGIN:VCARD is a vCard file, any other CSV
    VCard,
    Csv,
};

struct ImportRequest
{
    QStringList files; // native paths
    ImportFormat format = ImportFormat::FromContent;
    bool dryRun = false;
};

struct ImportOutcome
{
    QByteArray report;  // for standard output
    QStringList errors; // one per file that could not be read or did not parse
};

// Holds the data folder's lock for the whole run. A file that does not parse adds
// nothing (the others are imported). Throws DataError and platform::FileError when the
// card file cannot be used; nothing is changed then.
ImportOutcome importFiles(const ImportRequest &request);

} // namespace cardomine::tool
