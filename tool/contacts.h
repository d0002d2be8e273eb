#pragma once

#include "datastore/contactrecord.h"

#include <QList>
#include <QString>
#include <QStringList>

// Reading the card file for the tool: bytes only, through the file services that do
// not touch attributes, so reading never breaks a seal and works beside a running
// program. The record routines of Data_Functions are not used: they set attributes.
namespace cardomine::tool {

struct Contact
{
    int position = 0; // record position in the data file, from 1
    ContactRecord record;
    QString notes; // the notes file's text, as the program shows it
};

struct CardFile
{
    QChar fileType = QLatin1Char('R');
    int recordCount = 0;
    QList<Contact> contacts;
    QStringList warnings; // records left out and why
};

// Every contact from record 1 to the record count (random form), or every complete
// twelve-line record (sequential form, whose count is only the last number saved).
// Wholly blank records (positions nothing was written to, which read as spaces or as
// NUL bytes) are left out with a warning. Throws platform::FileError and DataError.
CardFile readCardFile();

// A field's text without its trailing padding.
inline QString trimmed(const QString &field)
{
    return withoutPadding(field);
}

// The text without the control characters that must not leave the program: every C0
// code but tab, CR and LF, and DEL. Address books cut a card at a NUL or refuse it.
QString withoutControls(const QString &text);

// A field as it is exported: without control characters and trailing padding.
QString fieldValue(const QString &field);

} // namespace cardomine::tool
