// SPDX-License-Identifier: GPL-3.0-or-later
// Closing: every way of closing the main window asks the one question.

#include "mainwindow/frmwork.h"
#include "platform/messages.h"

#include <QCloseEvent>
#include <QPushButton>

namespace cardomine {

void FrmWork::exitButton_Click()
{
    // A disabled Create New while the exit button can be clicked means create mode:
    // the button then reads "Save &New Record".
    if (!createButton->isEnabled()) {
        finishCreate();
        return;
    }
    close();
}

void FrmWork::closeEvent(QCloseEvent *event)
{
    const bool yes = platform::askYesNo(QStringLiteral("Exit?"),
                                        QStringLiteral("Are You Sure You Want To Close The "
                                                       "Archivane?"),
                                        platform::MessageIcon::Question, this);
    if (!yes) {
        event->ignore();
        return;
    }
    if (m_beforeClose)
        m_beforeClose();
    event->accept();
}

} // namespace cardomine
