// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/recordboxes.h"

#include <QString>

// The captions the main window puts beside its boxes, in one place for the window and
// for the tool, which shows a contact the way the window does.
namespace cardomine::captions {

inline QString fieldBox(FieldBox box)
{
    switch (box) {
    case FieldBox::FirstName:
        return QStringLiteral("First Name:");
    case FieldBox::LastName:
        return QStringLiteral("Last Name:");
    case FieldBox::Company:
        return QStringLiteral("Company (If Applicable):");
    case FieldBox::Address:
        return QStringLiteral("Address:");
    case FieldBox::City:
        return QStringLiteral("City:");
    case FieldBox::State:
        return QStringLiteral("State:");
    case FieldBox::Zip:
        return QStringLiteral("Zip Code:");
    case FieldBox::HomePhone:
        return QStringLiteral("Home Phone:");
    case FieldBox::WorkPhone:
        return QStringLiteral("Work Phone:");
    case FieldBox::PagerMobile:
        return QStringLiteral("Pager/Mobile #:");
    case FieldBox::FaxOrEmail:
        return QStringLiteral("Fax Or Email:");
    }
    return {};
}

inline QString contactId()
{
    return QStringLiteral("Client/Customer/Contact ID#:");
}

inline QString type()
{
    return QStringLiteral("Type:");
}

inline QString notes()
{
    return QStringLiteral("Notes:");
}

} // namespace cardomine::captions
