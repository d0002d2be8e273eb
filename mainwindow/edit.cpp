// SPDX-License-Identifier: GPL-3.0-or-later
// Changing the contact on display: the first click of the edit button unlocks the
// boxes, the second asks and then saves or throws the changes away. The mode lives
// in the button's tag text: empty while browsing, "Save" while editing.

#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "datastore/datafunctions.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "mainwindow/fileproblem.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/statustexts.h"
#include "platform/messages.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

using cardomine::platform::MessageIcon;

namespace cardomine {

QString FrmWork::editTag() const
{
    return editButton->property("tag").toString();
}

void FrmWork::setEditTag(const QString &tag)
{
    editButton->setProperty("tag", tag);
}

void FrmWork::setEditBoxesLocked(bool locked)
{
    for (FieldBox box : WindowOrder)
        setBoxLocked(box, locked);
    notes->setReadOnly(locked || m_notesCut);
}

void FrmWork::setLeavingControlsEnabled(bool enabled)
{
    optnButton->setEnabled(enabled);
    createButton->setEnabled(enabled);
    findButton->setEnabled(enabled);
    exitButton->setEnabled(enabled);
    ScrollBar->setEnabled(enabled);
    deleteButton->setEnabled(enabled);
}

void FrmWork::leaveEditMode()
{
    setEditTag(QString());
    editButton->setText(QStringLiteral("&Edit"));
    editButton->setToolTip(QStringLiteral("Click Here To Edit The Current Record"));
}

void FrmWork::editButton_Click()
{
    if (editTag().isEmpty()) {
        setEditTag(QStringLiteral("Save"));
        editButton->setText(QStringLiteral("&Save Edit"));
        editButton->setToolTip(QStringLiteral("Click Here To Save Your Editing"));
        setStatusText(statustext::editExisting());
        setEditBoxesLocked(false);
        setLeavingControlsEnabled(false);
        return;
    }

    const bool save = platform::askYesNo(QStringLiteral("Save Record?"),
                                         QStringLiteral("Are You SURE You Want To SAVE These "
                                                        "Changes?"),
                                         MessageIcon::Exclamation, this);
    if (!save) {
        leaveEditMode();
        setStatusText(statustext::view());
        Data_Functions::CollectFields(true);
        setEditBoxesLocked(true);
        // The notes go back to what the contact's notes file holds.
        const std::optional<int> id = CurrentRecord.contactNumber();
        try {
            Data_Functions::ShowNotes(*this, id);
        } catch (...) {
            showFileProblem(this, std::current_exception(),
                            QStringLiteral("The saved notes of this contact cannot be shown."));
        }
        setLeavingControlsEnabled(true);
        return;
    }

    setStatusText(statustext::savingEdit());
    const QString fileType = indexfile::fileTypeLetter(IndexLines);
    const ContactRecord before = CurrentRecord;
    Data_Functions::CollectFields(false);
    try {
        const std::optional<int> id = CurrentRecord.contactNumber();
        Data_Functions::SaveRecord(paths::DataFile, id.value_or(0), fileType, QString());
    } catch (const NotesNotSaved &e) {
        // The record is stored; the notes box shows what the notes file holds, so that
        // the window shows what was saved.
        showFileProblem(this, std::current_exception(),
                        e.notesInPlace()
                            ? QStringLiteral("Your changes have been saved, but those to the "
                                             "notes may not be safe on disk yet.")
                            : QStringLiteral("Your changes to the record have been saved, but "
                                             "the changes to its notes have not."));
        const std::optional<int> id = CurrentRecord.contactNumber();
        try {
            Data_Functions::ShowNotes(*this, id);
        } catch (...) {
        }
    } catch (...) {
        // Stay in edit mode with the user's changes on screen, so they can retry.
        CurrentRecord = before;
        setStatusText(statustext::editExisting());
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("Your changes have not been saved. They are still on "
                                       "screen: try again, or answer No to drop them."));
        return;
    }
    leaveEditMode();
    setStatusText(statustext::view());
    setEditBoxesLocked(true);
    setLeavingControlsEnabled(true);
}

} // namespace cardomine
