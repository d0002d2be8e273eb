// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/context.h"

#include <QString>

#include <array>

// Browsing and saving inside one running program, over the data folders of each size
// opened in turn, round after round, so that the machine's load falls on every size
// alike.
namespace cardomine::bench {

struct WindowSettings
{
    int rounds = 0;      // after one that warms the caches
    int navigations = 0; // per size, over all rounds
    int saves = 0;       // of each kind, per size, over all rounds
};

bool runWindowBench(const Context &c, const std::array<QString, 3> &roots,
                    const std::array<int, 3> &sizes, const WindowSettings &settings);

} // namespace cardomine::bench
