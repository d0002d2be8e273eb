// SPDX-License-Identifier: GPL-3.0-or-later
// The contact record decoded from both forms of the data file.

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "platform/textcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace cardomine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // Random form: any bytes make a record, which writes back at full length and
    // reads back as itself.
    ContactRecord record;
    record.setFromRandomBytes(bytes);
    const QByteArray written = record.toRandomBytes();
    if (written.size() != ContactRecord::Length)
        std::abort();
    ContactRecord again;
    again.setFromRandomBytes(written);
    if (!(again == record))
        std::abort();
    (void)record.contactNumber();

    // Sequential form: twelve lines or a clear refusal.
    try {
        ContactRecord sequential;
        sequential.setFromSequentialLines(platform::text::splitLines(bytes));
        if (sequential.toSequentialLines().size() != ContactRecord::SequentialLineCount)
            std::abort();
    } catch (const DataError &) {
    }
    return 0;
}
