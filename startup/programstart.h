// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

namespace cardomine {

namespace platform {
class InstanceLock;
}

class FrmSplash;
class FrmWork;

// The program's windows, one of each, created on the first reference by name, and the
// program's start. main() owns one Program for the run.
//
// Start: the main window is the start-up window. Its initialization reads the
// splash's progress value; that first reference creates and loads the splash, whose
// count ends by hiding the splash and calling showMainWindow() (the main window's
// load), all before the value is read.
class Program
{
public:
    Program();
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // The main window; created on the first reference.
    FrmWork &frmWork();
    // The splash; the first reference creates and loads it (runs its whole count).
    FrmSplash &frmSplash();

    // Starts drawing the windows' pictures (the splash's, the icons) on other threads.
    // Called as soon as the application object exists, they are drawn while the fonts
    // load; start() calls it too.
    static void prepareArtwork();

    // Creates the main window and runs its initialization. False when the start-up
    // could not go on (the user has been told why) and the program should end.
    bool start();

    // The main window's load, run at the end of the splash's count: the About boxes,
    // the files' check and repair, the first record, and the window shown.
    void showMainWindow();

private:
    std::unique_ptr<FrmWork> m_work;
    std::unique_ptr<FrmSplash> m_splash;
    bool m_loaded = false;
    bool m_loadFailed = false;
};

namespace startup {

// Takes the one-copy lock on the data folder before anything else looks at it, so two
// copies never hand out the same record number. On failure the user has been told why
// and nothing comes back: the program should end.
std::unique_ptr<platform::InstanceLock> claimDataFolder();

} // namespace startup

} // namespace cardomine
