#pragma once

#include "datastore/cardfilereader.h"
#include "datastore/contactrecord.h"

#include <QString>

// A contact of the card file as the commands hand it on (read by datastore's one
// card-file reader), and the cleaning of its fields for the outside world.
namespace cardomine::tool {

using Contact = cardfile::Contact;
using CardFile = cardfile::CardFile;

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
