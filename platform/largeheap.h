// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace cardomine::platform {

// Sets the process's heap up for a run that holds every contact in memory at once: the
// heap grows in large steps and is never handed back mid-run, and its first `bytes` are
// backed by 2 MiB pages where the kernel gives them on request. On a virtual machine a
// page fault is dear, and a pass over 32,767 contacts otherwise takes some 20,000 of
// them. Address space only: memory is taken as it is touched.
void prepareLargeHeap(std::size_t bytes);

} // namespace cardomine::platform
