// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The texts of the main window's status bar, one place for each.
namespace cardomine::statustext {

inline QString view()
{
    return QStringLiteral("Ready.  Option Selected: View");
}
inline QString createNew()
{
    return QStringLiteral("Ready.  Option Selected: Create New Record");
}
inline QString editExisting()
{
    return QStringLiteral("Ready.  Option Selected: Edit Existing Record");
}
inline QString savingNew()
{
    return QStringLiteral("Please Wait . . .  Saving New Record");
}
inline QString savingEdit()
{
    return QStringLiteral("Saving Current Record. . .");
}
inline QString viewingRecord(int number)
{
    return QStringLiteral("Ready.  You Are Viewing Record# : ") + QString::number(number);
}

} // namespace cardomine::statustext
