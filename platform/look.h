// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPalette>

// The program's look: the classic style (Qt's "Windows" style with a block progress
// bar and a fixed scroll thumb) in the Windows 95 colours, with crisp text in message
// boxes and tooltips, unless the user chose a style of their own.
namespace cardomine::platform::look {

// Whether the command line (-style NAME, -style=NAME) or QT_STYLE_OVERRIDE names a
// style. Call it with main()'s arguments before QApplication takes them.
bool userChoseStyle(int argc, const char *const *argv);

// The Windows 95 colours: face #C0C0C0, shadow #808080, navy selection with white
// text, light yellow tooltips; disabled text grey.
QPalette classicPalette();

// Makes the classic style, its palette and its box and tooltip fonts the
// application's, unless userChose: a style the user chose keeps its own palette.
// Needs a QApplication.
void applyClassicLook(bool userChose);

} // namespace cardomine::platform::look
