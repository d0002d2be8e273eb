// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/formulaquote.h"

namespace cardomine::interchange {

namespace {

// A phone number as people write them: an optional leading "+" or "-", then digits
// and the usual separators, with at least three digits.
bool isPhoneNumber(QStringView value)
{
    if (value.startsWith(u'+') || value.startsWith(u'-'))
        value = value.mid(1);
    int digits = 0;
    for (const QChar c : value) {
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (!QStringView(u" .-()/").contains(c))
            return false;
    }
    return digits >= 3;
}

bool startsFormula(QStringView value)
{
    return !value.isEmpty() && QStringView(u"=+-@\t\r").contains(value.front());
}

} // namespace

bool needsFormulaQuote(QStringView value)
{
    qsizetype quotes = 0;
    while (quotes < value.size() && value.at(quotes) == u'\'')
        ++quotes;
    const QStringView rest = value.sliced(quotes);
    return startsFormula(rest) && !isPhoneNumber(rest);
}

} // namespace cardomine::interchange
