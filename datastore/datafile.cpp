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

int recordsReached(const QString &path)
{
    const std::int64_t size = sizeOrZero(path);
    return capped((size + ContactRecord::Length - 1) / ContactRecord::Length);
}

int wholeRecords(const QString &path)
{
    return capped(sizeOrZero(path) / ContactRecord::Length);
}

} // namespace cardomine::datafile
