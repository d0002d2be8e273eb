#pragma once

#include <QString>

namespace cardomine::platform {

// The program names its files the Windows way ("c:\Program Files\Pelvarin\Index.tbl").
// On Linux the drive letter is dropped, backslashes become slashes and the rest goes
// under the drive root: $CARDOMINE_DRIVE_C, else $XDG_DATA_HOME/cardomine/drive_c
// (default ~/.local/share/cardomine/drive_c).
QString driveRoot();

// The native path of a program path. Paths without a drive letter are taken as
// relative to the drive root too.
QString nativePath(const QString &programPath);

} // namespace cardomine::platform
