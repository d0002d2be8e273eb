// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up floor: a bare Qt Widgets program that shows one window of the main
// window's size (601 x 381 px) and quits as soon as it is on screen.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(601, 381);
    window.show();
    QCoreApplication::processEvents();
    return 0;
}
