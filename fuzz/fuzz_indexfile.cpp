// SPDX-License-Identifier: GPL-3.0-or-later
// The index file as the start-up reads it, the two rules that read the table, and
// the count update's rewriting of the file.

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "fuzz/fuzzdrive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace cardomine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzzing::putFile(QStringLiteral("Index.tbl"), bytes);

    IndexLines = indexfile::read();
    if (IndexLines.highestEntry() < 2 || IndexLines.highestEntry() > 11)
        std::abort(); // one digit of types plus the count and file-type lines
    (void)indexfile::fileTypeLetter(IndexLines);
    int count = -1;
    try {
        count = indexfile::recordCount(IndexLines);
        if (count < 0 || count > cardomine::ContactRecord::MaxNumber)
            std::abort();
    } catch (const DataError &) {
    }
    for (const QChar type : {QLatin1Char('R'), QLatin1Char('S')}) {
        try {
            const QByteArray updated = indexfile::countUpdated(IndexLines, bytes, type, 42);
            // The rewritten file reads back as a table again.
            (void)indexfile::splitItems(QString::fromLatin1(updated));
        } catch (const DataError &) {
        }
    }
    IndexLines.clear();
    return 0;
}
