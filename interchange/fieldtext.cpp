// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/fieldtext.h"

#include <algorithm>

namespace cardomine::interchange {

namespace {

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\r' && u != u'\n') || u == 0x7F;
}

} // namespace

QString withoutControls(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString out = text;
    out.removeIf(isControl);
    return out;
}

QString fieldValue(const QString &field)
{
    return trimmed(withoutControls(field));
}

} // namespace cardomine::interchange
