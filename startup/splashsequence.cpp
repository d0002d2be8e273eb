// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/splashsequence.h"

namespace cardomine {

void runSplashSequence(const std::function<void(std::int32_t)> &setValue,
                       const std::function<void()> &repaint)
{
    std::int32_t counter = 0;
    for (;;) {
        if (counter == SplashProgressMaximum)
            break;
        // Every row is tested in turn against the counter as the rows before it left it.
        for (const SplashJump &jump : SplashJumps) {
            if (counter == jump.from) {
                counter = jump.to;
                repaint();
            }
        }
        ++counter;
        setValue(counter);
    }
}

} // namespace cardomine
