// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace cardomine {

// frmFind: the layout of a search dialog that asks which field to search by. Nothing
// in this version opens it, and it handles no events of its own.
class FrmFind : public QDialog
{
    Q_OBJECT

public:
    explicit FrmFind(QWidget *parent = nullptr);

    QPushButton *OKButton = nullptr;
    QCheckBox *chkFirstName = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace cardomine
