// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/repairplan.h"

#include <QList>

namespace cardomine {

class FrmWork;

namespace startup {

enum class LoadResult
{
    Ready, // the window is filled and shown
    Exit,  // start-up cannot go on; the user has been told why
};

// The main window's first load: the About boxes, centring, the check-and-repair
// loop over the data and index files (creating them on first run), reading the
// index into IndexLines and showing record 1 with its notes. The repair's steps, as
// performed, are added to `performed` when given.
LoadResult loadMainWindow(FrmWork &window, QList<repairplan::Step> *performed = nullptr);

} // namespace startup
} // namespace cardomine
