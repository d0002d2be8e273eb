// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/context.h"

// What users would pick instead, where Debian has it, over the same contacts: abook's
// start-up and its --convert, khard list, python3-vobject reading the vCards. Each pair
// runs theirs, then ours; a row is skipped with a note when the program is missing.
namespace cardomine::bench {

// startRoot is a drive root of the largest size that the start-up may use. Adds the
// table to the report. False when one of our own commands failed.
bool runPeerBench(const Context &c, const QString &startRoot, int pairs);

} // namespace cardomine::bench
