// SPDX-License-Identifier: GPL-3.0-or-later
// Adding a contact: Create New reserves the next number and opens empty boxes; the
// exit button, captioned "Save &New Record" meanwhile, saves or discards it.

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/datafile.h"
#include "datastore/datafunctions.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/fileproblem.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/lockablecombobox.h"
#include "mainwindow/statustexts.h"
#include "platform/messages.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

using cardomine::platform::MessageIcon;

namespace cardomine {

namespace {

constexpr int HighestRecordNumber = ContactRecord::MaxNumber;

} // namespace

void FrmWork::setBrowseButtonsEnabled(bool enabled)
{
    createButton->setEnabled(enabled);
    editButton->setEnabled(enabled);
    optnButton->setEnabled(enabled);
    deleteButton->setEnabled(enabled);
    findButton->setEnabled(enabled);
}

void FrmWork::createButton_Click()
{
    setBrowseButtonsEnabled(false);
    setCursor(Qt::WaitCursor);

    int count = 0;
    try {
        count = indexfile::recordCount(IndexLines);
        // The number after the count must not be one the data file already holds (a
        // count lowered or lost by hand): a new record never overwrites a stored one.
        if (indexfile::fileTypeLetter(IndexLines) == u"R")
            count = std::max(count, datafile::recordsReached(paths::DataFile));
    } catch (...) {
        unsetCursor();
        setBrowseButtonsEnabled(true);
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("No new record can be created."));
        return;
    }
    if (count >= HighestRecordNumber) {
        unsetCursor();
        setBrowseButtonsEnabled(true);
        platform::notice(QStringLiteral("No Room For A New Record"),
                         QStringLiteral("Cardomine can keep at most %1 records, and all of "
                                        "them are in use.\rNo new record can be created.")
                             .arg(HighestRecordNumber),
                         MessageIcon::Information, this);
        return;
    }
    const int number = count + 1;

    m_shownBeforeCreate = ScrollBar->value();
    CurrentRecord.ContactID = QString::number(number);
    ID->setText(CurrentRecord.ContactID.text());
    setStatusText(statustext::createNew());
    unsetCursor();
    platform::notice(
        QStringLiteral("Record Formatting Complete."),
        QStringLiteral("You are now ready to create your new record. Click OK to continue.\r"
                       "When you're finished creating your record, click the 'STOP' button to "
                       "continue."),
        MessageIcon::Information, this);

    // ContactID already holds the new number, so moving the scroll bar loads nothing.
    ScrollBar->setMaximum(number);
    ScrollBar->setValue(ScrollBar->maximum());
    ScrollBar->setEnabled(false);
    exitButton->setText(QStringLiteral("Save &New Record"));
    ID->setReadOnly(true);
    ID->setText(QString::number(number));
    Data_Functions::SetAllFields(false, QString());
    setNotesText(QString());
    setNotesCut(false);
    notes->setReadOnly(false);
    cboCustomer->setLocked(true);
}

void FrmWork::finishCreate()
{
    setStatusText(statustext::savingNew());
    ScrollBar->setEnabled(true);

    const bool blankMajor = fname->text().isEmpty() || lname->text().isEmpty() ||
                            company->text().isEmpty() ||
                            (homephone->text().isEmpty() && workphone->text().isEmpty());
    if (blankMajor &&
        !platform::askYesNo(QStringLiteral("Caution!"),
                            QStringLiteral("Major elements of this record are blank.\r"
                                           "Do you still want to save this record?"),
                            MessageIcon::Exclamation, this)) {
        discardNewRecord();
        return;
    }
    saveNewRecord();
}

void FrmWork::saveNewRecord()
{
    const ContactRecord before = CurrentRecord;
    const int number = CurrentRecord.contactNumber().value_or(0);
    Data_Functions::CollectFields(false);
    const QString fileType = indexfile::fileTypeLetter(IndexLines);
    try {
        notes::setAsideEarlierNotes(number);
        Data_Functions::SaveRecord(paths::DataFile, number, fileType, QString());
    } catch (const NotesNotSaved &e) {
        showFileProblem(this, std::current_exception(),
                        e.notesInPlace()
                            ? QStringLiteral("The new record and its notes have been saved, but "
                                             "the notes may not be safe on disk yet.")
                            : QStringLiteral("The new record has been saved, but its notes have "
                                             "not."));
    } catch (...) {
        // Stay in create mode with everything the user typed, so they can retry.
        CurrentRecord = before;
        ScrollBar->setEnabled(false);
        setStatusText(statustext::createNew());
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("The new record has not been saved. Your typing is still "
                                       "on screen: try again, or exit."));
        return;
    }

    exitButton->setText(QStringLiteral("E&xit Cardomine"));
    try {
        Data_Functions::LoadRecord(paths::DataFile, 1, fileType);
    } catch (...) {
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("The new record has been saved, but record 1 cannot be "
                                       "shown."));
    }
    // Record 1 is on display, so the scroll bar goes back to its start; CurrentRecord
    // already holds that number, so nothing is loaded again.
    ScrollBar->setValue(CurrentRecord.contactNumber().value_or(ScrollBar->minimum()));
    Data_Functions::SetAllFields(true, QString());
    notes->setReadOnly(true);
    ID->setReadOnly(true);
    showCurrentRecord();
    const std::optional<int> shown = CurrentRecord.contactNumber();
    try {
        Data_Functions::ShowNotes(*this, shown);
    } catch (...) {
        setNotesText(QString());
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("The notes of this contact cannot be shown."));
    }
    cboCustomer->setLocked(false);
    setStatusText(statustext::view());
    setBrowseButtonsEnabled(true);
}

void FrmWork::discardNewRecord()
{
    exitButton->setText(QStringLiteral("E&xit Cardomine"));
    int count = ScrollBar->maximum() - 1;
    try {
        count = indexfile::recordCount(IndexLines);
    } catch (const DataError &) {
        // The count was readable when create mode began and nothing was saved since.
    }
    ScrollBar->setMaximum(std::max(count, ScrollBar->minimum()));
    ScrollBar->setValue(ScrollBar->minimum());
    if (CurrentRecord.contactNumber() != ScrollBar->value()) {
        // No record could be loaded (each failure said so). CurrentRecord still holds
        // the record on display before Create New, under the new number: it is shown
        // again under its own, rather than a record that was never saved.
        CurrentRecord.ContactID = QString::number(m_shownBeforeCreate);
        const QSignalBlocker blocker(ScrollBar);
        ScrollBar->setValue(m_shownBeforeCreate);
    }
    Data_Functions::SetAllFields(true, QString());
    notes->setReadOnly(true);
    ID->setReadOnly(true);
    showCurrentRecord();
    // Record 1 is on display, unless its load failed (and said so): then the record
    // still held stays on display with its own number and notes, so that an edit of it
    // cannot take another contact's notes.
    const std::optional<int> shown = CurrentRecord.contactNumber();
    if (shown == 1)
        ID->setText(QStringLiteral("1"));
    try {
        Data_Functions::ShowNotes(*this, shown);
    } catch (...) {
        setNotesText(QString());
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("The notes of this contact cannot be shown."));
    }
    setBrowseButtonsEnabled(true);
    cboCustomer->setLocked(false);
    setStatusText(statustext::view());
}

} // namespace cardomine
