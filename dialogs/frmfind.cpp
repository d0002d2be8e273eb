// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/frmfind.h"

#include "platform/commandbutton.h"
#include "platform/fonts.h"
#include "platform/geometry.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>

using cardomine::platform::placeTwips;

namespace cardomine {

FrmFind::FrmFind(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find What?"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(platform::twipsSize(5970, 3450));
    setFont(platform::fonts::font(QStringLiteral("Berlin Sans FB"), 8.25, true));

    // Neither button is the default: Enter clicks a button only when it has the focus.
    OKButton = new platform::CommandButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setFont(platform::fonts::font(QStringLiteral("MS Sans Serif"), 8.25, false));
    OKButton->setToolTip(QStringLiteral("Click here to search using specified criteria."));
    placeTwips(OKButton, 4680, 120, 1215, 375);

    chkFirstName = new QCheckBox(QStringLiteral("By First Name"), this);
    chkFirstName->setObjectName(QStringLiteral("chkFirstName"));
    chkFirstName->setToolTip(QStringLiteral("Check here to use first name as search criteria."));
    placeTwips(chkFirstName, 240, 240, 975, 495);

    CancelButton = new platform::CommandButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setFont(platform::fonts::font(QStringLiteral("MS Sans Serif"), 8.25, false));
    placeTwips(CancelButton, 4680, 600, 1215, 375);

    setTabOrder(OKButton, chkFirstName);
    setTabOrder(chkFirstName, CancelButton);
}

void FrmFind::keyPressEvent(QKeyEvent *event)
{
    // No cancel button: Escape does nothing here.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace cardomine
