// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for the store's tests: a data folder in a temporary drive, laid out from
// the file formats themselves (bytes built here, not by the code under test).

#include "datastore/contactrecord.h"
#include "datastore/datafunctions.h"
#include "datastore/indexfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "tests/support/memoryboxes.h"
#include "tests/support/tempdrive.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace cardomine::testing {

// A text padded with spaces or cut to width, as bytes.
inline QByteArray padded(const QByteArray &text, int width)
{
    QByteArray out = text.left(width);
    out.append(width - out.size(), ' ');
    return out;
}

// CR LF after every line.
inline QByteArray crlfLines(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// A 249-byte random-form record with the given first name and contact number; the
// other fields follow from the number so records differ throughout.
inline QByteArray recordBytes(const QByteArray &firstName, int id)
{
    const QByteArray n = QByteArray::number(id);
    return padded(firstName, 10) + padded("Last" + n, 20) + padded("Company " + n, 40) +
           padded(n + " Main Street", 50) + padded("City " + n, 30) + padded("NY", 2) +
           padded("1110" + n.right(1), 5) + padded(n, 6) + padded("555.000." + n, 12) +
           padded("555.100." + n, 12) + padded("555.200." + n, 12) +
           padded("fax" + n + "@example.org", 30) + padded("Contacts", 20);
}

// The same record as CurrentRecord holds it.
inline ContactRecord recordOf(const QByteArray &firstName, int id)
{
    ContactRecord r;
    r.setFromRandomBytes(recordBytes(firstName, id));
    return r;
}

inline QByteArray indexBytes(int count, const QByteArray &type = "R")
{
    return crlfLines({"Num_Of_Types=1", "Data_Type=Contacts",
                      "Num_Of_Records=" + QByteArray::number(count), "File_Type=" + type});
}

// The data folder, made as the start-up makes it (its parent first).
inline void makeDataFolder()
{
    platform::files::createFolder(QStringLiteral("c:\\Program Files"));
    platform::files::createFolder(paths::DataFolder);
}

// A data folder with its notes folder, an index with the given bytes (sealed at 5)
// and a data file with the given bytes (sealed at 7). IndexLines is read from it.
inline void layOut(const TempDrive &drive, const QByteArray &index, const QByteArray &data)
{
    namespace files = platform::files;
    makeDataFolder();
    files::createFolder(paths::NotesFolder);
    drive.writeFile(paths::IndexFile, index);
    drive.writeFile(paths::DataFile, data);
    files::setAttributes(paths::IndexFile, 5);
    files::setAttributes(paths::DataFile, 7);
    IndexLines = indexfile::read();
}

inline void resetStore()
{
    CurrentRecord = ContactRecord();
    IndexLines.clear();
}

} // namespace cardomine::testing
