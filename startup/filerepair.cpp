#include "startup/filerepair.h"

#include "datastore/contactrecord.h"
#include "datastore/datafile.h"
#include "datastore/paths.h"
#include "datastore/recovered.h"
#include "datastore/seal.h"
#include "platform/fileattributes.h"
#include "platform/files.h"

#include <algorithm>

namespace files = cardomine::platform::files;

namespace cardomine::startup {

QString moveAside(const QString &path)
{
    return recovered::setAside(path);
}

void moveDataFileAside()
{
    const int records = datafile::recordsReached(paths::DataFile);
    moveAside(paths::DataFile);
    recovered::setAsideNotes(records);
}

int countForCreatedIndex()
{
    if (!files::fileExists(paths::DataFile) || files::attributes(paths::DataFile) != seal::DataFile)
        return 1;
    return std::clamp(datafile::wholeRecords(paths::DataFile), 1, ContactRecord::MaxNumber);
}

} // namespace cardomine::startup
