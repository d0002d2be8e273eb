#pragma once

// The program's look: Qt's classic "Windows" style with its standard palette, unless
// the user chose a style of their own.
namespace cardomine::platform::look {

// Whether the command line (-style NAME, -style=NAME) or QT_STYLE_OVERRIDE names a
// style. Call it with main()'s arguments before QApplication takes them.
bool userChoseStyle(int argc, const char *const *argv);

// Makes the classic style and its standard palette the application's, unless
// userChose. Needs a QApplication.
void applyClassicLook(bool userChose);

} // namespace cardomine::platform::look
