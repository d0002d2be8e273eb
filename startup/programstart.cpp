// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/programstart.h"

#include "assets/assets.h"
#include "datastore/paths.h"
#include "datastore/pendingwork.h"
#include "mainwindow/frmwork.h"
#include "platform/drive.h"
#include "platform/instancelock.h"
#include "platform/messages.h"
#include "startup/frmsplash.h"
#include "startup/mainwindowload.h"
#include "startup/splashsequence.h"

#include <QProgressBar>

#include <cerrno>

namespace cardomine {

Program::Program() = default;

Program::~Program()
{
    // The main window goes first: its close hook refers to the splash.
    m_work.reset();
    m_splash.reset();
    // Browsing leaves a spent marker in the data folder for the next record; a clean
    // exit takes it away.
    pendingwork::removeSpent();
}

FrmWork &Program::frmWork()
{
    if (!m_work) {
        m_work = std::make_unique<FrmWork>();
        // Closing the main window closes the hidden splash just before it.
        m_work->setBeforeClose([this] {
            if (m_splash)
                m_splash->close();
        });
    }
    return *m_work;
}

FrmSplash &Program::frmSplash()
{
    if (!m_splash) {
        m_splash = std::make_unique<FrmSplash>();
        m_splash->load([this] { showMainWindow(); });
    }
    return *m_splash;
}

void Program::prepareArtwork()
{
    FrmSplash::prepareArtwork();
    assets::prepareIcons();
}

bool Program::start()
{
    // The folders may have been changed by other programs since the last start.
    platform::forgetNames();
    // The artwork is drawn on other cores while the main window is built, unless that
    // started earlier.
    if (!m_splash)
        prepareArtwork();
    FrmWork &work = frmWork();
    const int progress = frmSplash().ProgressBar1->value();
    if (progress != SplashProgressMaximum) {
        // The splash has not finished: it stays in front until it has.
        work.hide();
        m_splash->show();
        m_splash->activateWindow();
        m_splash->setFocus(Qt::ActiveWindowFocusReason);
    }
    return !m_loadFailed;
}

void Program::showMainWindow()
{
    // Showing the window loads it once; later shows only show it.
    if (m_loaded) {
        frmWork().show();
        return;
    }
    m_loaded = true;
    m_loadFailed = startup::loadMainWindow(frmWork()) == startup::LoadResult::Exit;
}

namespace startup {

std::unique_ptr<platform::InstanceLock> claimDataFolder()
{
    // A new start sees the folders as other programs left them.
    platform::forgetNames();
    auto lock = std::make_unique<platform::InstanceLock>(paths::DataFolder);
    if (lock->tryLock())
        return lock;
    if (lock->status() == platform::InstanceLock::Status::HeldElsewhere) {
        platform::notice(QStringLiteral("Cardomine Is Already Running"),
                         lock->errorString() +
                             QStringLiteral("\rOnly one of them can use the data folder "
                                            "at a time: wait for the command to finish, or close "
                                            "the other copy. This copy will now close."),
                         platform::MessageIcon::Information);
        return nullptr;
    }
    QString title = QStringLiteral("Cardomine Cannot Use Its Data Folder");
    if (lock->errorCode() == EROFS)
        title = QStringLiteral("The Data Folder Is Read-Only");
    else if (lock->errorCode() == ENOSPC || lock->errorCode() == EDQUOT)
        title = QStringLiteral("The Disk Is Full");
    platform::notice(title,
                     lock->errorString() +
                         QStringLiteral("\rYour contacts are not changed: \"cardomine-tool "
                                        "export\" can still read them.\rCardomine will now "
                                        "close."),
                     platform::MessageIcon::Critical);
    return nullptr;
}

} // namespace startup

} // namespace cardomine
