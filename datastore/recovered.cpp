#include "datastore/recovered.h"

#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/files.h"

#include <QDateTime>
#include <QSet>

namespace cardomine::recovered {

namespace files = platform::files;

namespace {

// A free name in Recovered/ for the file at path, the folder created when missing.
QString freeTarget(const QString &path)
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
    return target;
}

} // namespace

QString setAside(const QString &path)
{
    const QString target = freeTarget(path);
    files::moveFile(path, target);
    return target;
}

QString keepCopy(const QString &path)
{
    const QByteArray bytes = files::readBytes(path);
    const QString target = freeTarget(path);
    files::replaceBytes(target, bytes);
    return target;
}

void setAsideNotes(int lastContact)
{
    if (lastContact < 1 || !files::folderExists(paths::NotesFolder))
        return;
    // One listing instead of a look-up per record: a data file may hold 32767.
    const QStringList names = files::listFiles(paths::NotesFolder);
    const QSet<QString> present(names.cbegin(), names.cend());
    for (int id = 1; id <= lastContact; ++id) {
        const QString name = QString::number(id) + QStringLiteral(".txt");
        if (present.contains(name))
            setAside(notes::pathFor(id));
    }
}

} // namespace cardomine::recovered
