// SPDX-License-Identifier: GPL-3.0-or-later
// The marker of interrupted work, which a start reads before anything else.

#include "datastore/pendingwork.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace cardomine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    pendingwork::Expected expected;
    if (pendingwork::parse(bytes, &expected)) {
        pendingwork::Expected again;
        if (!pendingwork::parse(pendingwork::format(expected), &again) ||
            again.dataSizes != expected.dataSizes || again.records != expected.records ||
            again.indexVersions != expected.indexVersions ||
            again.recordNumber != expected.recordNumber)
            std::abort();
    }
    return 0;
}
