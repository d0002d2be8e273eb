// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/about.h"

#include "platform/messages.h"

using cardomine::platform::MessageIcon;

namespace cardomine {

namespace about {

QString creditsTitle()
{
    return QStringLiteral("About Cardomine");
}

QString creditsText()
{
    return QStringLiteral("Cardomine(tm) 1.0 (Archivane)\r"
                          "Manages Simple Data Queries and Storage\r"
                          "Written by the Cardomine project team.");
}

QString donationsTitle()
{
    return QStringLiteral("Please Help If You Can!");
}

QString donationsText()
{
    return QStringLiteral("Donations Are Glady Accepted.\r"
                          "They Help To Finance My Programs And Copyrights.\r"
                          "For more information, write to cardomine@example.org");
}

} // namespace about

void showAbout(QWidget *parent)
{
    platform::notice(about::creditsTitle(), about::creditsText(), MessageIcon::Information, parent);
    platform::notice(about::donationsTitle(), about::donationsText(), MessageIcon::Information,
                     parent);
}

} // namespace cardomine
