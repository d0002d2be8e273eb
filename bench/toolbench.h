// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/context.h"

// cardomine-tool's commands over the largest data folder, each run as the user runs
// it (a whole process) and paired with a program that only reads the files it reads,
// or, for import, writes as many files.
namespace cardomine::bench {

// Adds the table and its verdicts to the report. False when a command failed.
bool runToolBench(const Context &c);

} // namespace cardomine::bench
