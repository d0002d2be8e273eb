// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/filesizesignal.h"

#include <csignal>

namespace cardomine::platform {

void ignoreFileSizeSignal()
{
    struct sigaction ignore
    {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

} // namespace cardomine::platform
