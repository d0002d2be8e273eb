// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start as main() runs it (fonts, instance lock, splash, main window
// load), with message boxes answered by the scripted service instead of a user.
// Quits as soon as the first record is on screen; exit status 0 only when the start
// succeeded and showed record 1 with no unexpected box.

#include "mainwindow/frmwork.h"
#include "platform/fonts.h"
#include "platform/instancelock.h"
#include "platform/look.h"
#include "platform/scriptedmessages.h"
#include "startup/programstart.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char *argv[])
{
    const bool ownStyle = cardomine::platform::look::userChoseStyle(argc, argv);
    QApplication app(argc, argv);
    cardomine::Program::prepareArtwork();
    QApplication::setApplicationName(QStringLiteral("Cardomine"));
    cardomine::platform::look::applyClassicLook(ownStyle);
    cardomine::platform::fonts::loadBundledFonts();

    cardomine::platform::ScriptedMessageService messages;
    const cardomine::platform::ScopedMessageService scoped(messages);

    cardomine::platform::InstanceLock lock(QStringLiteral("c:\\Program Files\\Pelvarin.lock"));
    if (!lock.tryLock()) {
        std::fprintf(stderr, "data folder locked\n");
        return 2;
    }

    cardomine::Program program;
    if (!program.start()) {
        std::fprintf(stderr, "start-up failed\n");
        return 3;
    }
    QCoreApplication::processEvents();

    cardomine::FrmWork &window = program.frmWork();
    if (!window.isVisible() || window.ID->text().trimmed() != QLatin1String("1") ||
        !messages.unexpected().isEmpty()) {
        std::fprintf(stderr, "first record not shown\n");
        return 4;
    }
    return 0;
}
