// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/wrappingbutton.h"

#include <QDialog>

#include <array>

class QGroupBox;
class QPushButton;
class QTabBar;

namespace cardomine {

// frmOptions: the data-file options on a one-tab strip. In this version nothing is
// stored: OK and Apply say so in two boxes and close; every opening starts from the
// settings below.
class FrmOptions : public QDialog
{
    Q_OBJECT

public:
    explicit FrmOptions(QWidget *parent = nullptr);

    QTabBar *tbsOptions = nullptr;
    WrappingRadioButton *Option1 = nullptr;
    WrappingRadioButton *Option2 = nullptr;
    WrappingCheckBox *Check1 = nullptr;
    WrappingCheckBox *Check2 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdApply = nullptr;
    std::array<QWidget *, 4> picOptions{};
    std::array<QGroupBox *, 4> fraSample{}; // fraSample1 .. fraSample4
    // The bordered page the tab strip draws beneath its tabs.
    QWidget *tabPage = nullptr;

    // Shows the panel of the selected tab and parks the others off-screen.
    void tbsOptions_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showVersionMessages();
    bool handleKey(QKeyEvent *event);
};

} // namespace cardomine
