// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>
#include <vector>

// cardomine-tool sync over the benchmark's data folders: the pass a timer runs every
// few minutes, when nothing has changed on either side.
namespace cardomine::bench {

// For each data folder (a drive root), a first pass writes every contact's vCard into a
// vCard folder under scratch; then `runs` passes with nothing changed are timed, in
// milliseconds. Empty samples and a message in problem when a pass fails or writes
// anything.
std::array<std::vector<double>, 3> measureQuietSync(const std::array<QString, 3> &roots,
                                                    const QString &scratch, int runs,
                                                    QString &problem);

} // namespace cardomine::bench
