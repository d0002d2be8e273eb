// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/pairs.h"

#include "bench/stats.h"

#include <algorithm>
#include <utility>

namespace cardomine::bench {

Rounds runRounds(const std::vector<Trial> &trials, int rounds)
{
    Rounds result;
    result.series.resize(trials.size());
    result.loadBefore = loadAverage();
    for (int round = -1; round < rounds; ++round) {
        for (std::size_t i = 0; i < trials.size(); ++i) {
            const Command command = trials[i].command();
            const ProcessRun run = runMeasured(command);
            if (!run.started || !trials[i].succeeded(run)) {
                result.problem =
                    QStringLiteral("%1 failed (exit %2): %3")
                        .arg((QStringList{command.program} + command.arguments).join(u' '))
                        .arg(run.exitCode)
                        .arg(QString::fromLocal8Bit(run.err).trimmed());
                return result;
            }
            if (round >= 0) {
                result.series[i].millis.push_back(run.millis);
                result.series[i].peakMiB.push_back(run.peakMiB);
            }
        }
    }
    result.loadAfter = loadAverage();
    return result;
}

Ratio spread(std::vector<double> ratios)
{
    if (ratios.empty())
        return {};
    return {median(ratios), *std::min_element(ratios.begin(), ratios.end()),
            *std::max_element(ratios.begin(), ratios.end())};
}

Ratio pairRatio(const Series &over, const Series &under)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < over.millis.size() && i < under.millis.size(); ++i)
        ratios.push_back(under.millis[i] > 0 ? over.millis[i] / under.millis[i] : 0);
    return spread(std::move(ratios));
}

} // namespace cardomine::bench
