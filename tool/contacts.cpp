#include "tool/contacts.h"

#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <QHash>

#include <algorithm>

namespace cardomine::tool {

namespace files = platform::files;

namespace {

bool isBlank(const ContactRecord &r)
{
    const QString all = r.FirstName.text() + r.LastName.text() + r.Company.text() +
                        r.Address.text() + r.City.text() + r.State.text() + r.Zip.text() +
                        r.ContactID.text() + r.HomePhone.text() + r.WorkPhone.text() +
                        r.PagerMobile.text() + r.FaxOrEmail.text();
    return fieldValue(all).isEmpty();
}

void addContact(CardFile &file, int position, const ContactRecord &record)
{
    if (isBlank(record)) {
        file.warnings.append(
            QStringLiteral("record %1 is blank (nothing was written there); left out")
                .arg(position));
        return;
    }
    Contact contact;
    contact.position = position;
    contact.record = record;
    file.contacts.append(std::move(contact));
}

// The notes file of each contact, all read in one pass over the notes folder. The
// notes belong to the contact's number, as the program loads them: "<n>.txt", in any
// letter case, the spelling as written first.
void addNotes(CardFile &file)
{
    if (!files::folderExists(paths::NotesFolder))
        return;
    QHash<int, QString> nameOf;
    for (const QString &name : files::listFiles(paths::NotesFolder)) {
        if (!name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
            continue;
        const QString stem = name.chopped(4);
        const std::optional<int> id = ContactRecord::parseNumber(stem);
        if (!id || QString::number(*id) != stem)
            continue;
        if (!nameOf.contains(*id) || name.endsWith(QLatin1String(".txt")))
            nameOf.insert(*id, name);
    }
    QStringList names;
    QList<Contact *> owners;
    for (Contact &contact : file.contacts) {
        const std::optional<int> id = contact.record.contactNumber();
        if (const auto it = id ? nameOf.constFind(*id) : nameOf.cend(); it != nameOf.cend()) {
            names.append(*it);
            owners.append(&contact);
        }
    }
    std::vector<std::optional<QByteArray>> bytes =
        files::readBytesIfFilesIn(paths::NotesFolder, names, notes::ReadLimit + 1);
    for (qsizetype i = 0; i < owners.size(); ++i) {
        if (bytes[size_t(i)])
            owners[i]->notes = notes::fromFileBytes(std::move(*bytes[size_t(i)]));
    }
}

} // namespace

CardFile readCardFile()
{
    const IndexTable table = indexfile::read();
    CardFile file;
    file.recordCount = indexfile::recordCount(table);
    file.fileType = indexfile::fileTypeLetter(table).at(0);

    if (file.fileType == QLatin1Char('S')) {
        const QStringList lines = platform::text::splitLines(files::readBytes(paths::DataFile));
        const int complete = int(lines.size() / ContactRecord::SequentialLineCount);
        for (int n = 1; n <= complete; ++n) {
            ContactRecord record;
            record.DataType = QStringLiteral("Contacts");
            record.setFromSequentialLines(lines.mid((n - 1) * ContactRecord::SequentialLineCount,
                                                    ContactRecord::SequentialLineCount));
            addContact(file, n, record);
        }
        if (lines.size() % ContactRecord::SequentialLineCount != 0)
            file.warnings.append(
                QStringLiteral("the data file ends with %1 lines that make no complete record")
                    .arg(lines.size() % ContactRecord::SequentialLineCount));
        addNotes(file);
        return file;
    }

    if (!files::fileExists(paths::DataFile))
        throw DataError(paths::DataFile, QStringLiteral("the data file is missing"));
    // One read for the whole file: a record past its end reads as spaces, as
    // readRecord gives it.
    const QByteArray data =
        files::readBytes(paths::DataFile, std::int64_t(file.recordCount) * ContactRecord::Length);
    file.contacts.reserve(file.recordCount);
    for (int n = 1; n <= file.recordCount; ++n) {
        ContactRecord record;
        record.setFromRandomBytes(
            data.mid(qsizetype(n - 1) * ContactRecord::Length, ContactRecord::Length));
        addContact(file, n, record);
    }
    addNotes(file);
    return file;
}

} // namespace cardomine::tool
