#pragma once

#include "datastore/contactrecord.h"

#include <QString>

// One contact of the card file as the writers take it: its record and notes.
namespace cardomine::interchange {

struct Contact
{
    int position = 0; // record position in the data file, from 1
    ContactRecord record;
    QString notes; // the notes file's text, as the program shows it
};

} // namespace cardomine::interchange
