// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/recovered.h"

#include "datastore/contactphotos.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/fileerror.h"
#include "platform/files.h"

#include <QDateTime>
#include <QSet>

#include <cerrno>

namespace cardomine::recovered {

namespace files = platform::files;

namespace {

// A free name in Recovered/ for a file named name, the folder created when missing;
// names in taken are passed over too.
QString freeTarget(const QString &name, const QSet<QString> &taken = {})
{
    if (!files::folderExists(paths::RecoveredFolder))
        files::createFolder(paths::RecoveredFolder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base =
        paths::RecoveredFolder + QLatin1Char('\\') + name + QLatin1Char('.') + stamp;
    QString target = base;
    for (int n = 2; files::fileExists(target) || taken.contains(target); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    return target;
}

QString nameOf(const QString &path)
{
    return path.section(QLatin1Char('\\'), -1);
}

} // namespace

QString setAside(const QString &path)
{
    return setAsideAs(path, nameOf(path));
}

QString setAsideAs(const QString &path, const QString &name)
{
    // The move itself refuses a taken name, also one taken by something that is no
    // file (a folder, a dangling link): the next free name is tried then.
    QSet<QString> taken;
    for (int tries = 1;; ++tries) {
        const QString target = freeTarget(name, taken);
        try {
            files::moveFile(path, target);
            return target;
        } catch (const platform::FileError &error) {
            if (error.errorCode() != EEXIST || tries >= 1000)
                throw;
        }
        // Taken by something fileExists does not see: step past it.
        taken.insert(target);
    }
}

QString keepCopy(const QString &path)
{
    const QByteArray bytes = files::readBytes(path);
    const QString target = freeTarget(nameOf(path));
    files::replaceBytes(target, bytes);
    return target;
}

void setAsideNotes(int lastContact)
{
    if (lastContact < 1)
        return;
    // Their photos go with them: the notes name them.
    photos::setAsideUpTo(lastContact);
    if (!files::folderExists(paths::NotesFolder))
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
