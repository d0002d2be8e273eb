// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/loadedwindow.h"

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "startup/mainwindowload.h"

namespace cardomine::testing {

QByteArray LoadedWindow::recordBytes(int id)
{
    ContactRecord r;
    r.FirstName = QStringLiteral("First%1").arg(id);
    r.LastName = QStringLiteral("Last%1").arg(id);
    r.Company = QStringLiteral("Company%1").arg(id);
    r.Address = QStringLiteral("%1 Test Street").arg(id);
    r.City = QStringLiteral("Testville");
    r.State = QStringLiteral("TS");
    r.Zip = QStringLiteral("0000%1").arg(id % 10);
    r.ContactID = QString::number(id);
    r.HomePhone = QStringLiteral("555.000.%1").arg(id, 4, 10, QLatin1Char('0'));
    r.DataType = QStringLiteral("Contacts");
    return r.toRandomBytes();
}

QByteArray LoadedWindow::indexBytes(int count)
{
    return "Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=" + QByteArray::number(count) +
           "\r\nFile_Type=R\r\n";
}

LoadedWindow::LoadedWindow(int records)
{
    CurrentRecord = ContactRecord();
    IndexLines.clear();
    platform::setMessageService(&messages);
    if (!drive.isValid())
        return;
    QByteArray data;
    for (int i = 1; i <= records; ++i) {
        data += recordBytes(i);
        if (i % 2 == 1)
            drive.writeFile(notes::pathFor(i), QStringLiteral("Notes of %1\r\n").arg(i).toLatin1());
    }
    drive.writeFile(paths::IndexFile, indexBytes(records));
    drive.writeFile(paths::DataFile, data);
    platform::files::setAttributes(paths::IndexFile, 5);
    platform::files::setAttributes(paths::DataFile, 7);

    window = new FrmWork;
    m_loaded = startup::loadMainWindow(*window) == startup::LoadResult::Ready;
    messages.clear();
}

LoadedWindow::~LoadedWindow()
{
    delete window;
    platform::setMessageService(nullptr);
}

StartSeen startOnce()
{
    IndexLines.clear();
    platform::ScriptedMessageService messages;
    platform::setMessageService(&messages);
    StartSeen seen;
    {
        FrmWork window;
        seen.ready = startup::loadMainWindow(window) == startup::LoadResult::Ready;
    }
    platform::setMessageService(nullptr);
    seen.shown = messages.shown();
    seen.unexpected = messages.unexpected();
    return seen;
}

} // namespace cardomine::testing
