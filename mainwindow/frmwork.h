// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// frmWork, the main window: one contact at a time in twelve boxes, a scroll bar to
// browse, seven buttons and a one-panel status bar.
//
// How data flows: the workflows (one source each: navigation, create, edit, exit,
// the small buttons, about, options) call Data_Functions (datastore/) to move
// CurrentRecord between the data file and the boxes; the window itself is the
// RecordBoxes those routines see. Every box the user sees goes through
// platform::messageService(). The start-up (startup/) fills the window at load.

#include "datastore/recordboxes.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QStatusBar;

namespace cardomine {

class LockableComboBox;

class FrmWork : public QWidget, public RecordBoxes
{
    Q_OBJECT

public:
    explicit FrmWork(QWidget *parent = nullptr);
    ~FrmWork() override;

    // The controls, named as the program's layout names them.
    QLineEdit *fname = nullptr;
    QLineEdit *lname = nullptr;
    QLineEdit *company = nullptr;
    QLineEdit *address = nullptr;
    QLineEdit *city = nullptr;
    QLineEdit *statetext = nullptr;
    QLineEdit *zip = nullptr;
    QLineEdit *ID = nullptr;
    QLineEdit *homephone = nullptr;
    QLineEdit *workphone = nullptr;
    QLineEdit *pagermobile = nullptr;
    QLineEdit *fax = nullptr;
    LockableComboBox *cboCustomer = nullptr;
    QPlainTextEdit *notes = nullptr;
    QScrollBar *ScrollBar = nullptr;
    QPushButton *abtButton = nullptr;
    QPushButton *optnButton = nullptr;
    QPushButton *createButton = nullptr;
    QPushButton *editButton = nullptr;
    QPushButton *deleteButton = nullptr;
    QPushButton *findButton = nullptr;
    QPushButton *exitButton = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label13 = nullptr;
    QLabel *Label14 = nullptr;

    // Status bar panel 1.
    QString statusText() const;
    void setStatusText(const QString &text);

    // RecordBoxes: the eleven field boxes and the notes box. Notes cross this line
    // with CR LF line ends, as they are in the files.
    QString boxText(FieldBox box) const override;
    void setBoxText(FieldBox box, const QString &text) override;
    bool isBoxLocked(FieldBox box) const override;
    void setBoxLocked(FieldBox box, bool locked) override;
    QString notesText() const override;
    void setNotesText(const QString &text) override;
    bool notesCut() const override { return m_notesCut; }
    void setNotesCut(bool cut) override;
    QLineEdit *box(FieldBox box) const;

    // Run just before the window closes after the user confirmed (closes the splash).
    void setBeforeClose(std::function<void()> hook) { m_beforeClose = std::move(hook); }

    // The workflows, one source each: navigation.cpp, create.cpp, edit.cpp, exit.cpp,
    // smallbuttons.cpp, options.cpp.
    void ScrollBar_Change();
    void createButton_Click();
    void editButton_Click();
    void exitButton_Click();
    void deleteButton_Click();
    void findButton_Click();
    void abtButton_Click();
    void optnButton_Click();

    // The edit mode lives in editButton's tag text: empty, or "Save" while editing.
    QString editTag() const;
    void setEditTag(const QString &tag);

    // Shows CurrentRecord in the twelve boxes at full width, ID included.
    void showCurrentRecord();
    // Sets a box's text with its start in view.
    static void showText(QLineEdit *box, const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void placeControls();
    QList<QLabel *> captionLabels() const;
    void chainTabOrder();
    void describeForAccessibility();
    void connectHandlers();

    // Create mode.
    void setBrowseButtonsEnabled(bool enabled);
    void finishCreate();
    void saveNewRecord();
    void discardNewRecord();

    // Edit mode.
    void setEditBoxesLocked(bool locked);
    void setLeavingControlsEnabled(bool enabled);
    void leaveEditMode();

    QLabel *m_statusPanel = nullptr;
    std::function<void()> m_beforeClose;
    int m_shownBeforeCreate = 1; // the record on display when create mode began
    bool m_notesCut = false;     // the notes box shows the beginning of a notes file
};

} // namespace cardomine
