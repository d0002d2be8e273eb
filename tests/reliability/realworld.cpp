// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/realworld.h"

#include "datastore/contactrecord.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/drive.h"
#include "platform/files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace cardomine::testing {

namespace {

QByteArray readNative(const QString &path)
{
    // Only regular files: a FIFO left by a situation must not hold the check up.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Where a program path lies on disk, found as the program finds it (in any letter case).
QString onDisk(const QString &programPath)
{
    return QFile::decodeName(platform::resolvePath(programPath).native);
}

// The record count the program would read, or 0 when the index says nothing usable.
int storedCount()
{
    const QByteArray index = readNative(onDisk(paths::IndexFile));
    for (const QByteArray &line : index.split('\n')) {
        if (line.startsWith("Num_Of_Records="))
            return line.mid(15).trimmed().toInt();
    }
    return 0;
}

QStringList recoveredFiles()
{
    QStringList files;
    QDirIterator it(onDisk(paths::RecoveredFolder), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

} // namespace

Situation::Situation()
{
    CurrentRecord = ContactRecord();
    platform::setMessageService(&messages);
}

Situation::~Situation()
{
    platform::setMessageService(nullptr);
}

void Situation::keep(int id)
{
    const QByteArray data = readNative(onDisk(paths::DataFile));
    const QByteArray record =
        data.mid(qsizetype(id - 1) * ContactRecord::Length, ContactRecord::Length);
    const QString notesPath = onDisk(notes::pathFor(id));
    std::optional<QByteArray> notesBytes;
    if (QFile::exists(notesPath))
        notesBytes = readNative(notesPath);
    keep(id, record, notesBytes);
}

void Situation::keep(int id, const QByteArray &record, const std::optional<QByteArray> &notes)
{
    m_kept.append({id, record, notes});
}

QStringList Situation::lostContacts() const
{
    // What other programs changed since the situation is seen afresh.
    platform::forgetNames();
    const QByteArray data = readNative(onDisk(paths::DataFile));
    const int count = storedCount();
    const QStringList recovered = recoveredFiles();
    QList<QByteArray> recoveredBytes;
    for (const QString &file : recovered)
        recoveredBytes.append(readNative(file));

    QStringList lost;
    for (const Kept &kept : m_kept) {
        const qsizetype offset = qsizetype(kept.id - 1) * ContactRecord::Length;
        bool recordFound =
            kept.id <= count && data.mid(offset, ContactRecord::Length) == kept.record;
        bool notesFound = !kept.notes || readNative(onDisk(notes::pathFor(kept.id))) == *kept.notes;
        for (const QByteArray &bytes : recoveredBytes) {
            recordFound = recordFound || bytes.mid(offset, ContactRecord::Length) == kept.record;
            notesFound = notesFound || (kept.notes && bytes == *kept.notes);
        }
        if (!recordFound)
            lost.append(QStringLiteral("record %1").arg(kept.id));
        if (!notesFound)
            lost.append(QStringLiteral("notes of %1").arg(kept.id));
    }
    return lost;
}

} // namespace cardomine::testing
