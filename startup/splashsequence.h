// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace cardomine {

// The splash's progress count: from 0 to 90000 one step at a time, except where the
// jump table sends it ahead; each jump repaints the splash at once. There is no timer:
// the count lasts as long as the machine takes to set the bar.
struct SplashJump
{
    std::int32_t from;
    std::int32_t to;
};

inline constexpr std::int32_t SplashProgressMaximum = 90000;

inline constexpr std::array<SplashJump, 8> SplashJumps{{
    {1, 23},
    {11468, 25329},
    {32732, 43298},
    {46565, 51987},
    {64212, 73768},
    {74145, 87645},
    {87898, 88877},
    {88888, 89969},
}};

// Runs the count: setValue receives every value the bar takes, repaint is called at
// each jump.
void runSplashSequence(const std::function<void(std::int32_t)> &setValue,
                       const std::function<void()> &repaint);

} // namespace cardomine
