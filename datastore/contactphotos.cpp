// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/contactphotos.h"

#include "datastore/contactrecord.h"
#include "datastore/paths.h"
#include "datastore/recovered.h"
#include "platform/files.h"

#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>

namespace cardomine::photos {

namespace files = platform::files;
using namespace Qt::StringLiterals;

namespace {

constexpr int DigestDigits = 12;

const QRegularExpression &valueNamePattern()
{
    static const QRegularExpression pattern(u"^[a-z]{1,16}-[0-9a-f]{12}\\.[a-z0-9]{1,8}$"_s);
    return pattern;
}

QString extensionFor(const QString &type)
{
    static const QHash<QString, QString> known{
        {u"jpeg"_s, u"jpg"_s},  {u"jpg"_s, u"jpg"_s},      {u"png"_s, u"png"_s},
        {u"gif"_s, u"gif"_s},   {u"bmp"_s, u"bmp"_s},      {u"tiff"_s, u"tif"_s},
        {u"webp"_s, u"webp"_s}, {u"wave"_s, u"wav"_s},     {u"wav"_s, u"wav"_s},
        {u"mp3"_s, u"mp3"_s},   {u"ogg"_s, u"ogg"_s},      {u"pgp"_s, u"pgp"_s},
        {u"x509"_s, u"x509"_s}, {u"pgp-keys"_s, u"pgp"_s}, {u"pkix-cert"_s, u"x509"_s},
        {u"mpeg"_s, u"mp3"_s}};
    QString key = type.toLower();
    if (const qsizetype slash = key.indexOf(u'/'); slash >= 0) // "image/jpeg"
        key = key.mid(slash + 1);
    return known.value(key, u"bin"_s);
}

} // namespace

QString valueName(const QString &kind, const QByteArray &bytes, const QString &type)
{
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return kind.toLower() + u'-' + QString::fromLatin1(digest.left(DigestDigits)) + u'.' +
           extensionFor(type);
}

bool isValueName(const QString &text)
{
    return valueNamePattern().match(text).hasMatch();
}

QString entryText(const QString &valueName, qint64 size)
{
    return u"%1, %2 bytes"_s.arg(valueName).arg(size);
}

std::optional<Entry> parseEntry(const QString &text)
{
    static const QRegularExpression pattern(u"^(\\S+), (\\d{1,9}) bytes$"_s);
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch() || !isValueName(match.captured(1)))
        return std::nullopt;
    return Entry{match.captured(1), match.captured(2).toLongLong()};
}

QString fileName(int contactId, const QString &valueName)
{
    return QString::number(contactId) + u'-' + valueName;
}

QString pathFor(int contactId, const QString &valueName)
{
    return paths::PhotosFolder + u'\\' + fileName(contactId, valueName);
}

std::optional<int> fileNumber(const QString &name)
{
    const qsizetype dash = name.indexOf(u'-');
    if (dash <= 0 || !isValueName(name.mid(dash + 1)))
        return std::nullopt;
    const QString digits = name.left(dash);
    const std::optional<int> number = ContactRecord::parseNumber(digits);
    if (!number || *number < 1 || QString::number(*number) != digits)
        return std::nullopt;
    return number;
}

void write(const QList<NewFile> &values)
{
    if (values.isEmpty())
        return;
    if (!files::folderExists(paths::PhotosFolder))
        files::createFolder(paths::PhotosFolder);
    // A replacement never committed is removed with the object, so a failure before
    // commit leaves the folder as it was.
    files::PreparedReplacements prepared;
    for (const NewFile &value : values)
        prepared.add(pathFor(value.contactId, value.valueName), value.bytes);
    prepared.commit();
}

void removeWritten(const QList<NewFile> &values) noexcept
{
    for (const NewFile &value : values) {
        try {
            const QString path = pathFor(value.contactId, value.valueName);
            if (files::fileExists(path))
                files::deleteFile(path);
        } catch (...) {
            // Left for check to report as a photo file with no record.
        }
    }
}

std::optional<QByteArray> read(int contactId, const QString &valueName)
{
    if (!isValueName(valueName) || !files::folderExists(paths::PhotosFolder))
        return std::nullopt;
    const auto found = files::readBytesIfFilesIn(paths::PhotosFolder,
                                                 {fileName(contactId, valueName)}, FileLimit + 1);
    if (found.empty() || !found.front() || found.front()->size() > FileLimit)
        return std::nullopt;
    return *found.front();
}

QStringList contactFiles()
{
    QStringList names;
    if (!files::folderExists(paths::PhotosFolder))
        return names;
    for (const QString &name : files::listFiles(paths::PhotosFolder))
        if (fileNumber(name))
            names.append(name);
    return names;
}

void setAsideUpTo(int lastContact)
{
    for (const QString &name : contactFiles())
        if (fileNumber(name).value_or(0) <= lastContact)
            recovered::setAside(paths::PhotosFolder + u'\\' + name);
}

} // namespace cardomine::photos
