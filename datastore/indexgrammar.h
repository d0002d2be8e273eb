// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The card file's text as the program writes it, checked strictly: for a card file
// brought in from elsewhere, which must read the same way in the program as it was
// meant (the program's own reading of the index, indexfile::parse, is lenient and
// would quietly read a damaged file some other way).
namespace cardomine::indexfile {

// A problem found in a file, for the user: "line 3 ... is not ...".
using Fault = QString;

// Splits text into lines that each end in CR LF; a lone CR or LF, or a last line
// without its line end, is a fault.
std::optional<Fault> splitCrlfLines(const QByteArray &bytes, QList<QByteArray> &lines);

// Whether an index file holds exactly the lines the program writes: "Num_Of_Types="
// and one digit k, k lines "Data_Type=" with a name (none ending in an upper-case S or
// R, which the file-type rule would take), "Num_Of_Records=" with one to six digits
// and "File_Type=R" or "File_Type=S", each ending in CR LF, no line holding a comma or
// a quotation mark (the program reads each line as one comma-delimited item), and
// nothing after. Nothing when it does.
std::optional<Fault> grammarFault(const QByteArray &bytes);

} // namespace cardomine::indexfile
