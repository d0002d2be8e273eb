// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;

namespace cardomine {

// frmSplash: the borderless window with a progress bar that opens the program. Its
// load counts the bar to full (see splashsequence.h), hides the window and then shows
// the main window through the callback. The splash stays alive, hidden, until the
// program ends.
//
// Test hook: with CARDOMINE_SPLASH_HOLD_DIR naming a folder, the splash stops at each
// jump of its count, right after repainting: it writes "jump-K" (K from 1 to 8) there
// holding "window ID" (its X window) and "value V" (the bar's value), and waits,
// handling no events, until a file "go-K" appears there. The end-to-end tests grab its pixels.
class FrmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit FrmSplash(QWidget *parent = nullptr);
    ~FrmSplash() override;

    QProgressBar *ProgressBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Image1 = nullptr;

    // Starts drawing the splash's picture on another thread, so that it is ready when
    // the splash is built (once: a picture being drawn for the screen is kept); a
    // splash built without it draws the picture itself.
    static void prepareArtwork();
    // Drops a picture prepared and not yet taken by a splash.
    static void forgetArtwork();

    // The load step: centre, show and focus, count, hide, then showMainWindow.
    void load(const std::function<void()> &showMainWindow);

    // How often the count repainted the window at a jump.
    int jumpRepaints() const { return m_jumpRepaints; }

    // Whether the window system has exposed the window, so that paints reach it.
    bool isExposed() const;

private:
    void waitUntilExposed();
    // Hands the part of the window at rect to the window system's backdrop.
    void updateBackdrop(const QRect &rect);

    int m_jumpRepaints = 0;
    bool m_backdrop = false;
};

} // namespace cardomine
