// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/datafile.h"

#include "datastore/contactrecord.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdint>

namespace cardomine::datafile {

namespace files = platform::files;

namespace {

int capped(std::int64_t records)
{
    return int(std::min<std::int64_t>(records, ContactRecord::MaxNumber + 1));
}

std::int64_t sizeOrZero(const QString &path)
{
    return files::fileExists(path) ? files::fileSize(path) : 0;
}

} // namespace

int recordsReachedBySize(std::int64_t size)
{
    return capped((size + ContactRecord::Length - 1) / ContactRecord::Length);
}

int wholeRecordsBySize(std::int64_t size)
{
    return capped(size / ContactRecord::Length);
}

int recordsReached(const QString &path)
{
    return recordsReachedBySize(sizeOrZero(path));
}

int wholeRecords(const QString &path)
{
    return wholeRecordsBySize(sizeOrZero(path));
}

} // namespace cardomine::datafile
