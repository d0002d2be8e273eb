// SPDX-License-Identifier: GPL-3.0-or-later
// The Options button opens frmOptions modally; nothing it does is read back.

#include "dialogs/frmoptions.h"
#include "mainwindow/frmwork.h"
#include "platform/messages.h"

namespace cardomine {

void FrmWork::optnButton_Click()
{
    // A fresh dialog each time: every opening starts from the design settings.
    FrmOptions dialog;
    platform::messageService().exec(dialog);
}

} // namespace cardomine
