// SPDX-License-Identifier: GPL-3.0-or-later
// A CSV file another program wrote, as import reads it.

#include "importcheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    cardomine::fuzzing::checkImport(cardomine::interchange::readCsv(bytes));
    return 0;
}
