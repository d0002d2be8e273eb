// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace cardomine::platform {

// The program names its files the Windows way ("c:\Program Files\Pelvarin\Index.tbl").
// On Linux the drive letter is dropped, backslashes become slashes and the rest goes
// under the drive root: $CARDOMINE_DRIVE_C, else $XDG_DATA_HOME/cardomine/drive_c
// (default ~/.local/share/cardomine/drive_c).
QString driveRoot();

// The native path of a program path, spelt as the program spells it. Paths without a
// drive letter are taken as relative to the drive root too.
QString nativePath(const QString &programPath);

// A program path as the file system holds it.
struct ResolvedPath
{
    QByteArray native; // encoded for system calls
    // The first folder below the drive root on the way that is a symbolic link, as a
    // program path; empty when there is none.
    QString linkedFolder;
};

// Windows finds a file whatever the letter case of its name, and so does the program:
// each name below the drive root that exists in another case ("CARDOMINE.DAT" for
// "Cardomine.Dat") is taken as it is spelt on disk; a name that exists in no case
// keeps the program's spelling. Each folder is listed once and the listing kept, so a
// path costs no system call once its folder is known.
ResolvedPath resolvePath(const QString &programPath);
// Drops the kept listings (and the drive root worked out last), so that what other
// programs changed meanwhile is seen; called when the program starts on its folder.
void forgetNames();
// Tells the resolver that the program removed, or moved away, the file at a resolved
// native path.
void forgetName(const QByteArray &native);

} // namespace cardomine::platform
