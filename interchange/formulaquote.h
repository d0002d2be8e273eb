// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

// The quote CSV export puts before a cell a spreadsheet would run as a formula, and
// import takes off again: one rule for both ways, so that every value comes back.
namespace cardomine::interchange {

// A value that starts as a formula does ("=", "+", "-", "@", tab or CR) and is not a
// phone number such as "+44 20 7946 0958", or one that starts with a quote followed by
// such a value (so that "'=Acme" goes out as "''=Acme" and comes back whole).
bool needsFormulaQuote(QStringView value);

} // namespace cardomine::interchange
