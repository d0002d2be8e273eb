// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace cardomine::bench {

// The q-quantile (0..1) of the samples, nearest rank.
inline double quantile(std::vector<double> samples, double q)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto rank = std::size_t(std::ceil(q * double(samples.size())));
    return samples[std::min(samples.size() - 1, rank > 0 ? rank - 1 : 0)];
}

inline double median(const std::vector<double> &samples)
{
    return quantile(samples, 0.5);
}

} // namespace cardomine::bench
