#include "tool/contacts.h"

#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/files.h"
#include "platform/textcodec.h"

#include <algorithm>

namespace cardomine::tool {

namespace files = platform::files;

namespace {

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\r' && u != u'\n') || u == 0x7F;
}

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
    // The notes belong to the contact's number, as the program loads them.
    if (const auto id = record.contactNumber())
        contact.notes = notes::read(*id);
    file.contacts.append(contact);
}

} // namespace

QString trimmed(const QString &field)
{
    qsizetype end = field.size();
    while (end > 0 && field.at(end - 1) == QLatin1Char(' '))
        --end;
    return field.left(end);
}

QString withoutControls(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString out = text;
    out.removeIf(isControl);
    return out;
}

QString fieldValue(const QString &field)
{
    return trimmed(withoutControls(field));
}

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
        return file;
    }

    if (!files::fileExists(paths::DataFile))
        throw DataError(paths::DataFile, QStringLiteral("the data file is missing"));
    for (int n = 1; n <= file.recordCount; ++n) {
        ContactRecord record;
        record.setFromRandomBytes(files::readRecord(paths::DataFile, n, ContactRecord::Length));
        addContact(file, n, record);
    }
    return file;
}

} // namespace cardomine::tool
