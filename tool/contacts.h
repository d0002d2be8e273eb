// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/cardfilereader.h"
#include "interchange/contact.h"
#include "interchange/fieldtext.h"

// A contact of the card file as the commands hand it on (read by datastore's one
// card-file reader), and the cleaning of its fields for the outside world.
namespace cardomine::tool {

using Contact = cardfile::Contact;
using CardFile = cardfile::CardFile;
using interchange::fieldValue;
using interchange::trimmed;
using interchange::withoutControls;

} // namespace cardomine::tool
