// SPDX-License-Identifier: GPL-3.0-or-later
// A CSV file another program wrote, as import reads it.

#include "interchange/importreader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace cardomine;

namespace {

bool hasControl(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const interchange::ReadResult result = interchange::readCsv(bytes);
    // A refusal names a line of the file and adds nothing; what a message or report
    // quotes of the file holds no control character.
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
    return 0;
}
