// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/binaryvalues.h"

#include "datastore/contactphotos.h"

#include <QHash>

namespace cardomine::interchange {

using namespace Qt::StringLiterals;

namespace {

QByteArray withoutSpaces(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            out += c;
    return out;
}

std::optional<QByteArray> fromBase64(const QByteArray &text)
{
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        withoutSpaces(text), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    return decoded.decoded;
}

} // namespace

bool isBinaryProperty(const QByteArray &name)
{
    return name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "KEY";
}

std::optional<BinaryValue> decodeBinary(const QByteArray &encoding, const QByteArray &rawValue,
                                        const QString &typeHint)
{
    if (encoding == "B" || encoding == "BASE64") {
        std::optional<QByteArray> bytes = fromBase64(rawValue);
        if (!bytes)
            return std::nullopt;
        return BinaryValue{std::move(*bytes), typeHint.toLower()};
    }
    // "data:image/jpeg;base64,...", as vCard 4.0 writes it.
    const QByteArray value = rawValue.trimmed();
    if (!value.left(5).toLower().startsWith("data:"))
        return std::nullopt;
    const qsizetype comma = value.indexOf(',');
    if (comma < 0)
        return std::nullopt;
    const QByteArray header = value.mid(5, comma - 5).toLower();
    if (!header.endsWith(";base64"))
        return std::nullopt;
    std::optional<QByteArray> bytes = fromBase64(value.mid(comma + 1));
    if (!bytes)
        return std::nullopt;
    QByteArray mediaType = header.chopped(7);
    if (const qsizetype semicolon = mediaType.indexOf(';'); semicolon >= 0)
        mediaType.truncate(semicolon);
    const QString type = QString::fromLatin1(mediaType.mid(mediaType.indexOf('/') + 1));
    return BinaryValue{std::move(*bytes), type.isEmpty() ? typeHint.toLower() : type};
}

QString dataUri(const QString &valueName, const QByteArray &bytes)
{
    static const QHash<QString, QString> mediaTypes{{u"jpg"_s, u"image/jpeg"_s},
                                                    {u"png"_s, u"image/png"_s},
                                                    {u"gif"_s, u"image/gif"_s},
                                                    {u"bmp"_s, u"image/bmp"_s},
                                                    {u"tif"_s, u"image/tiff"_s},
                                                    {u"webp"_s, u"image/webp"_s},
                                                    {u"wav"_s, u"audio/wav"_s},
                                                    {u"mp3"_s, u"audio/mpeg"_s},
                                                    {u"ogg"_s, u"audio/ogg"_s},
                                                    {u"pgp"_s, u"application/pgp-keys"_s},
                                                    {u"x509"_s, u"application/pkix-cert"_s}};
    const QString extension = valueName.section(u'.', -1);
    return u"data:"_s + mediaTypes.value(extension, u"application/octet-stream"_s) + u";base64,"_s +
           QString::fromLatin1(bytes.toBase64());
}

std::optional<QString> storedBinaryValue(int contactNumber, const QString &propertyName,
                                         const QString &value)
{
    if (!isBinaryProperty(propertyName.toLatin1()))
        return std::nullopt;
    const std::optional<photos::Entry> entry = photos::parseEntry(value);
    if (!entry)
        return std::nullopt;
    const std::optional<QByteArray> bytes = photos::read(contactNumber, entry->valueName);
    if (!bytes || bytes->size() != entry->size)
        return std::nullopt;
    return dataUri(entry->valueName, *bytes);
}

} // namespace cardomine::interchange
