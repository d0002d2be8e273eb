// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// cardomine-tool's commands over a card file of the largest size, each timed as the
// user runs it (a whole process) against only reading the files it reads.
namespace cardomine::bench {

// Makes its data folders under `scratch`, runs export, check, adopt and import `runs`
// times each, and the reader (bench/readfiles.cpp) over the files each reads, and
// prints one table. False when a data folder could not be made or a command failed; a
// command the tool does not know yet is reported and skipped.
bool runToolBench(const QString &scratch, const QString &toolPath, const QString &readerPath,
                  int count, int runs);

} // namespace cardomine::bench
