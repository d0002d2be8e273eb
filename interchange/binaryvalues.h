// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Binary values of a vCard (PHOTO, LOGO, SOUND, KEY given as base64 or as a data: URI)
// on their way in and out: import keeps their bytes in the photos folder
// (datastore/contactphotos.h) and names them in the contact's notes; export reads them
// back and writes them whole as the property they came from.
namespace cardomine::interchange {

// Whether a property (upper case) may hold a binary value.
bool isBinaryProperty(const QByteArray &name);

struct BinaryValue
{
    QByteArray bytes;
    QString type; // lower case: "jpeg", "png", ... (empty when the card names none)
};

// The bytes of a property's raw value when it is binary: encoding "B" or "BASE64", or a
// value "data:<media type>;base64,...". typeHint: the property's own TYPE, if any.
// Nothing for any other value (a link, text), which stays text.
std::optional<BinaryValue> decodeBinary(const QByteArray &encoding, const QByteArray &rawValue,
                                        const QString &typeHint);

// The value of a property written whole again: a data: URI of the bytes, with the media
// type the value's name gives ("photo-....jpg": image/jpeg).
QString dataUri(const QString &valueName, const QByteArray &bytes);

// The value a binary property (PHOTO, ...) of a contact goes out with: the data: URI of
// the file of the photos folder that its value in the notes names ("photo-....jpg,
// 5321 bytes"); nothing when it names none, or the file is gone or not that size.
std::optional<QString> storedBinaryValue(int contactNumber, const QString &propertyName,
                                         const QString &value);

} // namespace cardomine::interchange
