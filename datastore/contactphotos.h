// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The photos folder ("c:\Program Files\Pelvarin\Contact Photos"): photos and the other
// binary values a contact brought in from another address book (a logo, a sound, a
// key), each kept whole in a file of its own instead of in the contact's notes.
//
// A value has a name, which the contact's notes give in their section of imported
// values ("Photo (jpeg): photo-3f2a9c01b2d4.jpg, 5321 bytes"): the kind of value, the
// beginning of its SHA-256 and a file type. The same bytes get the same name, so a card
// brought in twice brings nothing new. The file is "<n>-<name>", n the contact number.
namespace cardomine::photos {

inline const QString FolderName = QStringLiteral("Contact Photos");

// The largest binary value kept, in bytes: far above any address book's photos, and
// the bound on what is read of a file in the folder.
inline constexpr qint64 FileLimit = 16 * 1024 * 1024;

// The name of a value of the given kind ("photo", "logo", "sound", "key") and file type
// ("jpeg", "png", ...; anything else is "bin").
QString valueName(const QString &kind, const QByteArray &bytes, const QString &type);
// Whether text is such a name (and so safe as part of a file name).
bool isValueName(const QString &text);

// How the notes name a value, and that text read back (nullopt when it names none).
QString entryText(const QString &valueName, qint64 size);
struct Entry
{
    QString valueName;
    qint64 size = 0;
};
std::optional<Entry> parseEntry(const QString &text);

// "<n>-<name>" and its program path.
QString fileName(int contactId, const QString &valueName);
QString pathFor(int contactId, const QString &valueName);
// The contact number a file's name in the folder gives, or nullopt for another file.
std::optional<int> fileNumber(const QString &fileName);

// One value to store.
struct NewFile
{
    int contactId = 0;
    QString valueName;
    QByteArray bytes;
};

// Writes the files, made durable together, replacing a file of the same name (the same
// name holds the same bytes). The folder is created when missing. On a failure, the
// files this call wrote are removed again and the error is thrown.
void write(const QList<NewFile> &values);
// Removes what write() wrote, for a store that failed after it (missing files are passed
// over; a failure to remove is ignored, leaving a file check reports).
void removeWritten(const QList<NewFile> &values) noexcept;

// The bytes of a contact's value: nullopt when there is no such file or it passes
// FileLimit.
std::optional<QByteArray> read(int contactId, const QString &valueName);

// The files of the folder that belong to contacts (nothing when it is missing).
QStringList contactFiles();

// The photo files of contacts 1 to lastContact, set aside in Recovered/ with their
// notes: those of the records of a data file the start-up repair sets aside.
void setAsideUpTo(int lastContact);

} // namespace cardomine::photos
