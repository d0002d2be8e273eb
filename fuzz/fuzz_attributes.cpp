// SPDX-License-Identifier: GPL-3.0-or-later
// The attribute texts another program may leave: user.DOSATTRIB values, seal records
// and the sidecar file.

#include "platform/attributestore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace cardomine::platform::attributestore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const int bits = parseDosAttrib(bytes);
    if ((bits & ~6) != 0)
        std::abort(); // only hidden and system live there
    if (parseDosAttrib(formatDosAttrib(bits)) != bits)
        std::abort();

    if (const auto seal = parseSeal(bytes)) {
        if (parseSeal(formatSeal(*seal)) != seal)
            std::abort();
        (void)combine(false, bits, seal, seal->identity);
    }

    const Sidecar sidecar = parseSidecar(bytes);
    if (parseSidecar(formatSidecar(sidecar)) != sidecar)
        std::abort();
    if (const auto name = unescapeName(bytes)) {
        if (unescapeName(escapeName(*name)) != name)
            std::abort();
    }
    return 0;
}
