// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A data folder made by the program's own store code, and a way to run the tool.

#include "datastore/contactrecord.h"
#include "datastore/datafunctions.h"
#include "datastore/indexfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "tests/support/memoryboxes.h"
#include "tests/support/tempdrive.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <array>

namespace cardomine::testing {

struct ToolContact
{
    int id;
    std::array<QString, FieldBoxCount> fields; // in FieldBox order
    QString notes;                             // as the notes box hands it over (CR LF)
};

// Three contacts: one with an e-mail address, one with multi-line notes and
// characters beyond ASCII, one whose notes fold across multi-byte characters.
inline QList<ToolContact> toolContacts()
{
    using namespace Qt::StringLiterals;
    // FirstName, LastName, Company, Address, City, State, Zip, Home, Work, Pager, FaxOrEmail
    return {
        {1,
         {u"Ada"_s, u"Lovelace"_s, u"Analytical Engines, Ltd."_s, u"12 St James's Square"_s,
          u"London"_s, u"LN"_s, u"10001"_s, u"020.555.0101"_s, QString(), QString(),
          u"ada@example.org"_s},
         QString()},
        {2,
         {u"Émile"_s, u"Zola"_s, u"Café €uro; Paris"_s, u"1 Rue de la Paix"_s, u"Paris"_s, u"FR"_s,
          u"75002"_s, QString(), u"01.555.0199"_s, u"06.555.0123"_s, u"01.555.0198"_s},
         u"Prefers letters.\r\nPrice: 5 € per visit, café at 9\r\nSays \"bonjour\" \\ waves"_s},
        {3,
         {u"Zoë"_s, u"Brontë"_s, u"Société Générale d'Électricité du Nord"_s,
          u"Apartment 4, 221 Long Road Near The Old Mill Pond"_s, u"Haworth"_s, u"WY"_s, u"BD228"_s,
          u"555.0100"_s, u"555.0101"_s, u"555.0102"_s, QString()},
         u"Meeting notes: "_s + u"€é"_s.repeated(30) + u"\r\nSecond line."_s},
    };
}

// Lays out a data folder in the given form ("R" or "S") and saves the contacts
// through Data_Functions::SaveRecord, as the program's create workflow does.
inline void makeToolStore(const TempDrive &drive, const QString &fileType)
{
    namespace files = platform::files;
    files::createFolder(QStringLiteral("c:\\Program Files"));
    files::createFolder(paths::DataFolder);
    files::createFolder(paths::NotesFolder);
    if (fileType == u"R") {
        indexfile::create();
        files::writeRecord(paths::DataFile, 1, ContactRecord().toRandomBytes());
    } else {
        drive.writeFile(paths::IndexFile, "Num_Of_Types=1\r\nData_Type=Contacts\r\n"
                                          "Num_Of_Records=0\r\nFile_Type=S\r\n");
        drive.writeFile(paths::DataFile, QByteArray());
        files::setAttributes(paths::IndexFile, 5);
    }
    files::setAttributes(paths::DataFile, 7);
    IndexLines = indexfile::read();

    MemoryBoxes boxes;
    Data_Functions::setBoxes(&boxes);
    for (const ToolContact &contact : toolContacts()) {
        for (int i = 0; i < FieldBoxCount; ++i)
            boxes.setBoxText(static_cast<FieldBox>(i), contact.fields[size_t(i)]);
        boxes.setNotesText(contact.notes);
        CurrentRecord = ContactRecord();
        CurrentRecord.ContactID = QString::number(contact.id);
        CurrentRecord.DataType = QStringLiteral("Contacts");
        Data_Functions::CollectFields(false);
        Data_Functions::SaveRecord(paths::DataFile, contact.id, fileType, QString());
    }
    Data_Functions::setBoxes(nullptr);
}

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolRun runTool(const TempDrive &drive, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CARDOMINE_DRIVE_C"), drive.root());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CARDOMINE_TOOL_PATH), arguments);
    ToolRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace cardomine::testing
