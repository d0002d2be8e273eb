#include "datastore/recovered.h"

#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/fileerror.h"
#include "platform/files.h"

#include <QDateTime>
#include <QSet>

#include <cerrno>

namespace cardomine::recovered {

namespace files = platform::files;

QString setAside(const QString &path)
{
    if (!files::folderExists(paths::RecoveredFolder))
        files::createFolder(paths::RecoveredFolder);
    const QString name = path.section(QLatin1Char('\\'), -1);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base =
        paths::RecoveredFolder + QLatin1Char('\\') + name + QLatin1Char('.') + stamp;
    // The move itself refuses a taken name, also one taken by something that is no
    // file (a folder, a dangling link): the next name is tried then.
    for (int n = 1;; ++n) {
        const QString target = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (files::fileExists(target))
            continue;
        try {
            files::moveFile(path, target);
            return target;
        } catch (const platform::FileError &error) {
            if (error.errorCode() != EEXIST || n >= 1000)
                throw;
        }
    }
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
