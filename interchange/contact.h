// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/cardfilereader.h"

// One contact of the card file as the writers take it: its record and notes, as the
// data store's reader gives them.
namespace cardomine::interchange {

using Contact = cardfile::Contact;

} // namespace cardomine::interchange
