// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/messages.h"

#include <QTest>

namespace cardomine::platform {

// Lets QCOMPARE print a box (and lists of boxes) when a comparison fails.
inline char *toString(const MessageBox &box)
{
    return QTest::toString(describe(box));
}

} // namespace cardomine::platform
