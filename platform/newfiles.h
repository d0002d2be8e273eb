// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Many new files created in one folder at once, for PreparedReplacements. Not for use
// outside platform/.

#include "platform/files.h"

#include <QByteArray>

#include <cerrno>
#include <vector>

namespace cardomine::platform::files {

// What became of one file: whether it was created (and so is there to remove if the
// batch is given up), and the error that stopped it (0 when written whole: then
// `written` holds what stat told of it). EEXIST: another program's file has the name;
// ECANCELED: not tried, another file failed first.
struct NewFileResult
{
    bool created = false;
    int error = ECANCELED;
    WrittenFile written;
};

// Creates each file under its name in the folder open as folderFd, never over an
// existing file, private to the user (0600), and writes its bytes. Two threads share
// the files, as creating files is mostly the file system's own work, which they
// overlap; and every few thousand files the file system is asked to start writing back
// what is done, so that the flush after the batch finds less left. After an error
// other than EEXIST, the files not begun are not tried.
std::vector<NewFileResult> createNewFiles(int folderFd, const std::vector<QByteArray> &names,
                                          const std::vector<QByteArray> &bytes);

} // namespace cardomine::platform::files
