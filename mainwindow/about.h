// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace cardomine {

// The two About boxes, one after the other. Shown by the About button and at every
// start, before any file is looked at.
void showAbout(QWidget *parent);

namespace about {
QString creditsTitle();
QString creditsText();
QString donationsTitle();
QString donationsText();
} // namespace about

} // namespace cardomine
