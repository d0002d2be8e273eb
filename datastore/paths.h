// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The program's fixed file names, written the Windows way; platform/drive.h maps them.
namespace cardomine::paths {

inline const QString ProgramFilesFolder = QStringLiteral("c:\\Program Files");
inline const QString DataFolder = QStringLiteral("c:\\Program Files\\Pelvarin");
inline const QString NotesFolder = QStringLiteral("c:\\Program Files\\Pelvarin\\Contact Notes");
inline const QString PhotosFolder = QStringLiteral("c:\\Program Files\\Pelvarin\\Contact Photos");
inline const QString DataFile = QStringLiteral("c:\\Program Files\\Pelvarin\\Cardomine.Dat");
inline const QString IndexFile = QStringLiteral("c:\\Program Files\\Pelvarin\\Index.tbl");
inline const QString RecoveredFolder = QStringLiteral("c:\\Program Files\\Pelvarin\\Recovered");

} // namespace cardomine::paths
