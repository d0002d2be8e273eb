// SPDX-License-Identifier: GPL-3.0-or-later
// The second start-up floor: the main window with its controls, captions, fonts and
// look, showing one contact's worth of text, and nothing else: no card file read, no
// splash, no lock, no message box. It quits as soon as the window is on screen.

#include "mainwindow/frmwork.h"
#include "platform/fonts.h"
#include "platform/look.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

int main(int argc, char *argv[])
{
    const bool ownStyle = cardomine::platform::look::userChoseStyle(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cardomine"));
    cardomine::platform::look::applyClassicLook(ownStyle);
    cardomine::platform::fonts::loadBundledFonts();

    cardomine::FrmWork window;
    // Text of the length a contact shows, so the boxes draw as much as at start-up.
    window.fname->setText(QStringLiteral("Ann1"));
    window.lname->setText(QStringLiteral("Benchley1"));
    window.company->setText(QStringLiteral("Company 1 Ltd"));
    window.ID->setText(QStringLiteral("1"));
    window.notes->setPlainText(QStringLiteral("Met at the trade fair, stand 1."));
    window.show();
    QCoreApplication::processEvents();
    return window.isVisible() ? 0 : 1;
}
