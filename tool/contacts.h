#pragma once

#include "datastore/contactrecord.h"
#include "interchange/contact.h"
#include "interchange/fieldtext.h"

#include <QList>
#include <QString>
#include <QStringList>

// Reading the card file for the tool: bytes only, through the file services that do
// not touch attributes, so reading never breaks a seal and works beside a running
// program. The record routines of Data_Functions are not used: they set attributes.
namespace cardomine::tool {

using interchange::Contact;
using interchange::fieldValue;
using interchange::trimmed;
using interchange::withoutControls;

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

} // namespace cardomine::tool
