// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a screen reader is told about the program's windows, where Qt's own
// descriptions fall short on Linux:
// - a plain top-level window is a frame (Qt says "filler"), named by its title;
// - a drop-down list that has a name of its own (set with setAccessibleName) is
//   called by it, not by its current item;
// - a tab of a tab strip is "focused" only while the strip has the focus, not
//   whenever it is the selected tab.
namespace cardomine::platform::accessibility {

// Puts these descriptions in front of Qt's. Call it after the QApplication is made,
// which installs Qt's own; safe to call more than once.
void install();

} // namespace cardomine::platform::accessibility
