// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/look.h"

#include "platform/classicstyle.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QToolTip>

#include <cstring>

namespace cardomine::platform::look {

bool userChoseStyle(int argc, const char *const *argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        return true;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument == nullptr)
            continue;
        // Qt takes the option with one dash or two, and the name after '=' or apart.
        if (argument[0] == '-' && argument[1] == '-')
            ++argument;
        if (std::strcmp(argument, "-style") == 0 ? i + 1 < argc
                                                 : std::strncmp(argument, "-style=", 7) == 0)
            return true;
    }
    return false;
}

QPalette classicPalette()
{
    const QColor face(0xC0, 0xC0, 0xC0);
    const QColor shadow(0x80, 0x80, 0x80);
    const QColor white(Qt::white);
    const QColor black(Qt::black);
    const QColor navy(0x00, 0x00, 0x80);
    // window text, button, light, dark, mid, text, bright text, base, window
    QPalette palette(black, face, white, shadow, QColor(0xA0, 0xA0, 0xA0), black, white, white,
                     face);
    palette.setColor(QPalette::Midlight, QColor(0xDF, 0xDF, 0xDF));
    palette.setColor(QPalette::Shadow, black);
    palette.setColor(QPalette::ButtonText, black);
    palette.setColor(QPalette::Highlight, navy);
    palette.setColor(QPalette::HighlightedText, white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(QPalette::ToolTipText, black);
    palette.setColor(QPalette::AlternateBase, face);
    palette.setColor(QPalette::PlaceholderText, shadow);
    palette.setColor(QPalette::Link, QColor(0x00, 0x00, 0xFF));
    palette.setColor(QPalette::LinkVisited, QColor(0x80, 0x00, 0x80));
    // Disabled controls: grey text, etched with white by the style, on the face colour.
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::Highlight})
        palette.setColor(QPalette::Disabled, role, shadow);
    palette.setColor(QPalette::Disabled, QPalette::Base, face);
    return palette;
}

void applyClassicLook(bool userChose)
{
    if (userChose)
        return;
    QApplication::setStyle(new ClassicStyle);
    const QPalette palette = classicPalette();
    QApplication::setPalette(palette);
    QToolTip::setPalette(palette);
    // Message boxes and tooltips in the windows' own crisp face, not the desktop's
    // smoothed one.
    const QFont boxFont = fonts::tahoma(8.25, false);
    QApplication::setFont(boxFont, "QMessageBox");
    QToolTip::setFont(boxFont);
}

} // namespace cardomine::platform::look
