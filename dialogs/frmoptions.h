#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
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
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdApply = nullptr;
    std::array<QWidget *, 4> picOptions{};
    std::array<QGroupBox *, 4> fraSample{}; // fraSample1 .. fraSample4

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
