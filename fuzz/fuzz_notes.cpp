// SPDX-License-Identifier: GPL-3.0-or-later
// A notes file as the program reads it.

#include "datastore/notesfile.h"
#include "fuzz/fuzzdrive.h"
#include "platform/textcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace cardomine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzzing::putFile(QStringLiteral("Contact Notes/7.txt"), bytes);
    const QString notes = notes::read(7);
    // Exactly one CR LF is dropped, never more.
    QByteArray expected = bytes;
    if (expected.endsWith("\r\n"))
        expected.chop(2);
    if (notes.size() != platform::text::decode(expected).size())
        std::abort();
    return 0;
}
