// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

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

// The smallest From of the table at or above counter: passes of the count below it
// find no row to jump from.
constexpr std::int32_t nextSplashJump(std::span<const SplashJump> jumps, std::int32_t counter)
{
    std::int32_t next = std::numeric_limits<std::int32_t>::max();
    for (const SplashJump &jump : jumps) {
        if (jump.from >= counter)
            next = std::min(next, jump.from);
    }
    return next;
}

// Runs the count over a jump table: setValue receives every value the bar takes,
// repaint is called at each jump. A template, so that the 35013 calls of setValue are
// made in place.
template <typename SetValue, typename Repaint>
void runSplashSequence(std::span<const SplashJump> jumps, SetValue &&setValue, Repaint &&repaint)
{
    std::int32_t counter = 0;
    std::int32_t next = nextSplashJump(jumps, counter);
    for (;;) {
        if (counter == SplashProgressMaximum)
            break;
        // Every row is tested in turn against the counter as the rows before it left it;
        // below the next From no test can succeed, so none is made.
        if (counter >= next) {
            for (const SplashJump &jump : jumps) {
                if (counter == jump.from) {
                    counter = jump.to;
                    repaint();
                }
            }
            next = nextSplashJump(jumps, counter + 1);
        }
        ++counter;
        setValue(counter);
    }
}

// The splash's count, over its own table.
template <typename SetValue, typename Repaint>
void runSplashSequence(SetValue &&setValue, Repaint &&repaint)
{
    runSplashSequence(SplashJumps, std::forward<SetValue>(setValue),
                      std::forward<Repaint>(repaint));
}

} // namespace cardomine
