// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/process.h"

#include <QString>

#include <functional>
#include <vector>

// Programs timed side by side: each round runs every trial once, in the same order
// (A B A B ...), after one round that only warms the caches, so that whatever load the
// machine has falls on all of them alike. Ratios are taken within each round.
namespace cardomine::bench {

struct Trial
{
    std::function<Command()> command; // called before each run (a fresh folder, say)
    std::function<bool(const ProcessRun &)> succeeded = [](const ProcessRun &run) {
        return run.exitCode == 0;
    };
};

struct Series
{
    std::vector<double> millis;
    std::vector<double> peakMiB;
};

struct Ratio
{
    double median = 0;
    double min = 0;
    double max = 0;
};

struct Rounds
{
    std::vector<Series> series; // one per trial
    double loadBefore = 0;
    double loadAfter = 0;
    QString problem; // which trial failed, and how
};

Rounds runRounds(const std::vector<Trial> &trials, int rounds);

// The median, min and max of ratios taken one per round.
Ratio spread(std::vector<double> ratios);

// The per-round ratio of `over` to `under` (time), its median, min and max.
Ratio pairRatio(const Series &over, const Series &under);

} // namespace cardomine::bench
