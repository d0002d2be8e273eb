// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/context.h"

// cardomine-tool sync over the largest data folder as a timer runs it, a process each
// time: the first pass into an empty vCard folder, paired with an export of the same
// card file, and the pass with nothing changed on either side.
namespace cardomine::bench {

// Adds the table and its verdicts to the report. False when a pass failed.
bool runSyncBench(const Context &c);

} // namespace cardomine::bench
