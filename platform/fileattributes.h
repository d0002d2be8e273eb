// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace cardomine::platform {

// DOS attribute bits, as the program reads and sets them by number.
enum FileAttribute : int
{
    Normal = 0,
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    Archive = 32,
};

} // namespace cardomine::platform
