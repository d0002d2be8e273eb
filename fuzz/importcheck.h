// SPDX-License-Identifier: GPL-3.0-or-later
// What every import reader must hold to, whatever bytes it is given.
#pragma once

#include "interchange/importreader.h"

#include <algorithm>
#include <cstdlib>

namespace cardomine::fuzzing {

inline bool hasControl(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

// A refusal names a line of the file and adds nothing; what a message or report
// quotes of the file holds no control character.
inline void checkImport(const interchange::ReadResult &result)
{
    if (!result.ok() && (result.errorLine < 1 || !result.contacts.isEmpty()))
        std::abort();
    if (hasControl(result.error))
        std::abort();
    for (const interchange::ImportedContact &c : result.contacts) {
        if (hasControl(c.name) || c.line < 1)
            std::abort();
        for (int box = 0; box < FieldBoxCount; ++box)
            if (hasControl(c.record.fieldText(static_cast<FieldBox>(box))))
                std::abort();
    }
}

} // namespace cardomine::fuzzing
