// SPDX-License-Identifier: GPL-3.0-or-later
// Browsing: the scroll bar's value is the number of the record on display.

#include "datastore/contactrecord.h"
#include "datastore/datafunctions.h"
#include "datastore/paths.h"
#include "mainwindow/fileproblem.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/recordscrollbar.h"
#include "mainwindow/statustexts.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>

namespace cardomine {

void FrmWork::showCurrentRecord()
{
    const ContactRecord &r = CurrentRecord;
    showText(fname, r.FirstName.text());
    showText(lname, r.LastName.text());
    showText(company, r.Company.text());
    showText(address, r.Address.text());
    showText(city, r.City.text());
    showText(statetext, r.State.text());
    showText(zip, r.Zip.text());
    showText(ID, r.ContactID.text());
    showText(homephone, r.HomePhone.text());
    showText(workphone, r.WorkPhone.text());
    showText(pagermobile, r.PagerMobile.text());
    showText(fax, r.FaxOrEmail.text());
}

void FrmWork::ScrollBar_Change()
{
    const int v = ScrollBar->value();
    const std::optional<int> shown = CurrentRecord.contactNumber();
    if (shown && *shown == v)
        return;

    setStatusText(statustext::viewingRecord(v));
    const ContactRecord before = CurrentRecord;
    try {
        Data_Functions::LoadRecord(paths::DataFile, v, QStringLiteral("R"));
    } catch (...) {
        // Stay on the record that was on display, and say why.
        CurrentRecord = before;
        if (shown) {
            const QSignalBlocker blocker(ScrollBar);
            ScrollBar->setValue(*shown);
        }
        setStatusText(statustext::view());
        // One failure, one box: a held arrow must not step into it again behind the box.
        if (auto *bar = qobject_cast<RecordScrollBar *>(ScrollBar))
            bar->abandonPress();
        showFileProblem(this, std::current_exception(),
                        QStringLiteral("Record %1 cannot be shown.").arg(v));
        return;
    }
    // Locked and refilled: every box gets its text from the record just below, so they
    // are not emptied first (each text set is laid out again).
    setEditBoxesLocked(true);
    ID->setReadOnly(true);
    showCurrentRecord();
}

} // namespace cardomine
