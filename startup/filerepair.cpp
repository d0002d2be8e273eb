#include "startup/filerepair.h"

#include "datastore/paths.h"
#include "platform/files.h"

#include <QDateTime>

namespace files = cardomine::platform::files;

namespace cardomine::startup {

QString moveAside(const QString &path)
{
    if (!files::folderExists(paths::RecoveredFolder))
        files::createFolder(paths::RecoveredFolder);
    const QString name = path.section(QLatin1Char('\\'), -1);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base =
        paths::RecoveredFolder + QLatin1Char('\\') + name + QLatin1Char('.') + stamp;
    QString target = base;
    for (int n = 2; files::fileExists(target); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    files::moveFile(path, target);
    return target;
}

} // namespace cardomine::startup
