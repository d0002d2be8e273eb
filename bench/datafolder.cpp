// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/datafolder.h"

#include "datastore/contactrecord.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/drive.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace cardomine::bench {

namespace {

const char DriveVariable[] = "CARDOMINE_DRIVE_C";

QByteArray indexBytes(int count)
{
    return "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=" + QByteArray::number(count) +
           "\r\nFile_Type=R\r\n";
}

QByteArray recordBytes(int id)
{
    ContactRecord r;
    r.FirstName = QStringLiteral("Ann%1").arg(id);
    r.LastName = QStringLiteral("Benchley%1").arg(id);
    r.Company = QStringLiteral("Company %1 Ltd").arg(id);
    r.Address = QStringLiteral("%1 Long Street").arg(id);
    r.City = QStringLiteral("Springfield");
    r.State = QStringLiteral("IL");
    r.Zip = QStringLiteral("6%1").arg(id % 10000, 4, 10, QLatin1Char('0'));
    r.ContactID = QString::number(id);
    r.HomePhone = QStringLiteral("217.555.%1").arg(id % 10000, 4, 10, QLatin1Char('0'));
    r.WorkPhone = QStringLiteral("217.555.0100");
    r.FaxOrEmail = QStringLiteral("ann%1@example.com").arg(id);
    r.DataType = QStringLiteral("Contacts");
    return r.toRandomBytes();
}

QByteArray notesBytes(int id)
{
    return QStringLiteral("Met at the trade fair, stand %1.\r\nPrefers e-mail; call after "
                          "ten.\r\n")
        .arg(id)
        .toLatin1();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

DriveRoot::DriveRoot(const QString &root)
    : m_previous(qgetenv(DriveVariable))
    , m_hadPrevious(qEnvironmentVariableIsSet(DriveVariable))
{
    qputenv(DriveVariable, QFile::encodeName(root));
}

DriveRoot::~DriveRoot()
{
    if (m_hadPrevious)
        qputenv(DriveVariable, m_previous);
    else
        qunsetenv(DriveVariable);
}

bool makeDataFolder(const QString &root, int count)
{
    const DriveRoot drive(root);
    if (!QDir().mkpath(platform::nativePath(paths::NotesFolder)))
        return false;
    QByteArray data;
    data.reserve(qsizetype(count) * ContactRecord::Length);
    for (int id = 1; id <= count; ++id) {
        data += recordBytes(id);
        const QString notes =
            platform::nativePath(paths::NotesFolder) + u'/' + QString::number(id) + u".txt";
        if (!writeFile(notes, notesBytes(id)))
            return false;
    }
    if (!writeFile(platform::nativePath(paths::DataFile), data) ||
        !writeFile(platform::nativePath(paths::IndexFile), indexBytes(count)))
        return false;
    platform::files::setAttributes(paths::DataFile, 7);
    platform::files::setAttributes(paths::IndexFile, 5);
    return true;
}

bool makeEmptyCardFile(const QString &root)
{
    const DriveRoot drive(root);
    if (!QDir().mkpath(platform::nativePath(paths::NotesFolder)) ||
        !writeFile(platform::nativePath(paths::DataFile), QByteArray()) ||
        !writeFile(platform::nativePath(paths::IndexFile), indexBytes(0)))
        return false;
    platform::files::setAttributes(paths::DataFile, 7);
    platform::files::setAttributes(paths::IndexFile, 5);
    return true;
}

bool keepFirstRecords(const QString &root, int count)
{
    const DriveRoot drive(root);
    platform::files::setAttributes(paths::IndexFile, 0);
    platform::files::setAttributes(paths::DataFile, 0);
    if (!writeFile(platform::nativePath(paths::IndexFile), indexBytes(count)) ||
        !QFile::resize(platform::nativePath(paths::DataFile),
                       qint64(count) * ContactRecord::Length))
        return false;
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);
    // The notes of the records cut off go too, so a create finds none to set aside.
    for (int id = count + 1; QFile::exists(platform::nativePath(notes::pathFor(id))); ++id)
        QFile::remove(platform::nativePath(notes::pathFor(id)));
    return true;
}

} // namespace cardomine::bench
