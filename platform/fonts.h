// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>

// The fonts the layouts name. Tahoma and MS Sans Serif come from Wine's font clones
// when the machine has them; any family the machine lacks falls back through
// fontconfig.
namespace cardomine::platform::fonts {

// Registers Wine's Tahoma (regular, and bold at 1x) and MS Sans Serif with the
// application when the files exist. Returns how many were registered. Safe to call more than once;
// the count is forgotten with the application, so a new one registers them again.
int loadBundledFonts();

QFont font(const QString &family, double points, bool bold);

// The font to draw the one-line `text` in within `width` pixels: `font` itself, or,
// where Wine's glyphs, wider than Tahoma's, take the text past that width ("City:" in
// its 25-pixel caption), the same font spaced by its outlines' advances, which are
// narrower.
QFont fitting(const QFont &font, const QString &text, int width);

// Whether `font` is bold only by Qt's making: its family has no bold face here (Wine's
// bold Tahoma is left out on scaled screens), so Qt thickens the regular outlines, by
// less than a device pixel.
bool madeUpBold(const QFont &font);

// The window font of the program's windows: Tahoma, 8.25 pt, bold.
QFont windowFont();
QFont tahoma(double points, bool bold = true);

} // namespace cardomine::platform::fonts
