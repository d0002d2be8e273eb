// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/cardfileid.h"

#include "datastore/contactrecord.h"
#include "datastore/paths.h"
#include "platform/files.h"

namespace cardomine::interchange {

namespace files = platform::files;

QString cardFileIdPath()
{
    return paths::DataFolder + QStringLiteral("\\Cardomine.id");
}

std::optional<QUuid> readCardFileId()
{
    const std::optional<QByteArray> bytes = files::readBytesIfFile(cardFileIdPath(), 256);
    if (!bytes)
        return std::nullopt;
    const QUuid id = QUuid::fromString(QString::fromLatin1(bytes->trimmed()));
    if (id.isNull())
        return std::nullopt;
    return id;
}

QUuid cardFileId()
{
    if (const std::optional<QUuid> id = readCardFileId())
        return *id;
    const QUuid id = QUuid::createUuid();
    files::replaceBytes(cardFileIdPath(), id.toByteArray(QUuid::WithoutBraces) + "\r\n");
    return id;
}

QString contactUid(const QUuid &cardFile, int contactNumber)
{
    return QStringLiteral("urn:uuid:") +
           QUuid::createUuidV5(cardFile, QString::number(contactNumber))
               .toString(QUuid::WithoutBraces);
}

UidLookup::UidLookup(const std::optional<QUuid> &cardFile, int highestNumber)
    : m_highest(std::min(highestNumber, ContactRecord::MaxNumber))
{
    if (!cardFile)
        return;
    m_numbers.reserve(m_highest);
    for (int n = 1; n <= m_highest; ++n)
        m_numbers.insert(contactUid(*cardFile, n), n);
}

std::optional<int> UidLookup::contactNumber(const QString &uid) const
{
    const QString key = uid.trimmed().toLower();
    if (const auto it = m_numbers.constFind(key); it != m_numbers.cend())
        return *it;
    // The earlier form: the contact number alone.
    bool ok = false;
    const int number = key.toInt(&ok);
    if (ok && number >= 1 && number <= m_highest && !key.startsWith(u'+'))
        return number;
    return std::nullopt;
}

} // namespace cardomine::interchange
