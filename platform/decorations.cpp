// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/decorations.h"

#include <QByteArray>
#include <QtGlobal>

namespace cardomine::platform::decorations {

void chooseBeforeStart()
{
    // The user's own choice of Qt's Wayland decorations stands.
    if (qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION") ||
        qEnvironmentVariableIsSet("QT_WAYLAND_DECORATION"))
        return;
    qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", QByteArrayLiteral("1"));
}

} // namespace cardomine::platform::decorations
