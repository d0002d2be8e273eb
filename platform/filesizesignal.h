// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A write past the file-size limit (ulimit -f) or the largest file the file system
// takes would stop the process with SIGXFSZ, in the middle of a save, with no message.
// Ignored, the write fails with EFBIG instead, which the file services report as any
// other failed write, so the work is undone and the user told.
namespace cardomine::platform {

void ignoreFileSizeSignal();

} // namespace cardomine::platform
