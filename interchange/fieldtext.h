// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"

#include <QString>

// A field's text as it leaves the program.
namespace cardomine::interchange {

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

} // namespace cardomine::interchange
