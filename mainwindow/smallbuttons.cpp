// SPDX-License-Identifier: GPL-3.0-or-later
// Delete and Find belong to a later version: each says so in two boxes.

#include "mainwindow/about.h"
#include "mainwindow/frmwork.h"
#include "platform/messages.h"

namespace cardomine {

namespace {

const QString UpgradeTitle = QStringLiteral("Upgrade to Version 2.0");
const QString NotOperational =
    QStringLiteral("This button is not operational in this version of Cardomine.");
const QString SeeUpgradeTitle = QStringLiteral("See 'C:\\Program Files\\Pelvarin\\Upgrade.txt'");
const QString SeeUpgradeText = QStringLiteral("If you would like to make use of this button,\r"
                                              "you can upgrade to Cardomine 2.0\r"
                                              "See 'Upgrade.txt' for details.");

} // namespace

void FrmWork::deleteButton_Click()
{
    platform::notice(UpgradeTitle,
                     NotOperational +
                         QStringLiteral("\rTo get rid of a record, you can use the edit button,\r"
                                        "and replace the existing record with new information."),
                     platform::MessageIcon::Information, this);
    platform::notice(SeeUpgradeTitle, SeeUpgradeText, platform::MessageIcon::Information, this);
}

void FrmWork::findButton_Click()
{
    platform::notice(UpgradeTitle, NotOperational, platform::MessageIcon::Information, this);
    platform::notice(SeeUpgradeTitle, SeeUpgradeText, platform::MessageIcon::Information, this);
}

void FrmWork::abtButton_Click()
{
    showAbout(this);
}

} // namespace cardomine
