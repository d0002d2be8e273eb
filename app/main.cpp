// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/accessibility.h"
#include "platform/decorations.h"
#include "platform/filesizesignal.h"
#include "platform/fonts.h"
#include "platform/instancelock.h"
#include "platform/look.h"
#include "startup/programstart.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    cardomine::platform::ignoreFileSizeSignal();
    // QApplication takes its own options out of argv: see first whether -style is one.
    const bool ownStyle = cardomine::platform::look::userChoseStyle(argc, argv);
    cardomine::platform::decorations::chooseBeforeStart();
    QApplication app(argc, argv);
    // The pictures are drawn on other cores while the fonts load.
    cardomine::Program::prepareArtwork();
    QApplication::setApplicationName(QStringLiteral("Cardomine"));
    QApplication::setApplicationVersion(QStringLiteral(CARDOMINE_VERSION));
    cardomine::platform::look::applyClassicLook(ownStyle);
    cardomine::platform::fonts::loadBundledFonts();
    cardomine::platform::accessibility::install();

    // One running copy per data folder, held until the program ends.
    const auto lock = cardomine::startup::claimDataFolder();
    if (!lock)
        return 1;

    cardomine::Program program;
    if (!program.start())
        return 1;
    return QApplication::exec();
}
