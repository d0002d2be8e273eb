// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which title bars the program's windows get on Wayland.
//
// A Wayland compositor that offers server-side decorations draws the title bars
// itself, and Qt asks it to. One that offers none (Weston, for one) leaves them to
// Qt, whose own title bar draws minimize, maximize and close on every window
// whatever the window's flags say: a maximize box on fixed-size windows, minimize
// and maximize on every box and dialog, a close box on a question that must be
// answered. Those windows are better without a Qt-drawn title bar at all, so the
// program turns it off unless the user chose a decoration for Qt. X11 and
// compositors that draw their own title bars are not affected.
//
// On X11 the window manager decides. The fixed size (minimum = maximum size) is what
// takes maximize away; Openbox 3.6.1 ignores the Motif hints' minimize and maximize bits
// and still draws a disabled maximize box beside the minimize box it gives every window.
namespace cardomine::platform::decorations {

// Call before the QApplication is made: Qt's Wayland plugin reads the choice once.
void chooseBeforeStart();

} // namespace cardomine::platform::decorations
