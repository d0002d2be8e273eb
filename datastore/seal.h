// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/fileattributes.h"

// The attributes the program leaves its two files at between its own writes. Any
// other value at start means someone else touched the file, and the repair runs.
namespace cardomine::seal {

inline constexpr int DataFile = platform::ReadOnly | platform::Hidden | platform::System; // 7
inline constexpr int IndexFile = platform::ReadOnly | platform::System;                   // 5

} // namespace cardomine::seal
