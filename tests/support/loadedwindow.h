// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mainwindow/frmwork.h"
#include "platform/scriptedmessages.h"
#include "tests/support/tempdrive.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace cardomine::testing {

// A main window loaded as at program start, over a data folder of `records`
// contacts made for the test: contact i is "First<i> Last<i>" of "Company<i>" with
// notes "Notes of <i>" for every odd i. Boxes are recorded by `messages`; the About
// boxes of the load are cleared before the test sees the window.
class LoadedWindow
{
public:
    explicit LoadedWindow(int records = 3);
    ~LoadedWindow();

    bool isLoaded() const { return m_loaded; }

    static QByteArray recordBytes(int id);
    static QByteArray indexBytes(int count);

    TempDrive drive;
    platform::ScriptedMessageService messages;
    FrmWork *window = nullptr;

private:
    bool m_loaded = false;
};

// What one start of the program over the drive as it stands (after a crash, say) came
// to: the main window loaded and closed again, every box answered by script.
struct StartSeen
{
    bool ready = false;
    QList<platform::MessageBox> shown;
    QStringList unexpected;
};
StartSeen startOnce();

} // namespace cardomine::testing
