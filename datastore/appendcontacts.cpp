#include "datastore/appendcontacts.h"

#include "datastore/dataerror.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/seal.h"
#include "platform/files.h"
#include "platform/textcodec.h"

namespace cardomine::store {

namespace files = platform::files;

namespace {

void writeRecordAt(QChar fileType, int number, const ContactRecord &record)
{
    files::setAttributes(paths::DataFile, platform::Normal);
    if (fileType == QLatin1Char('S'))
        files::appendBytes(paths::DataFile, platform::text::joinLines(record.toSequentialLines()));
    else
        files::writeRecord(paths::DataFile, number, record.toRandomBytes());
    files::setAttributes(paths::DataFile, seal::DataFile);
}

} // namespace

QList<int> appendContacts(const QList<NewContact> &contacts)
{
    IndexLines = indexfile::read();
    const int count = indexfile::recordCount(IndexLines);
    const QChar fileType = indexfile::fileTypeLetter(IndexLines).at(0);
    if (count + contacts.size() > ContactRecord::MaxNumber)
        throw DataError(paths::DataFile, QStringLiteral("the card file holds at most %1 contacts")
                                             .arg(ContactRecord::MaxNumber));
    QList<int> numbers;
    for (const NewContact &contact : contacts) {
        const int number = count + int(numbers.size()) + 1;
        ContactRecord record = contact.record;
        record.ContactID = QString::number(number);
        notes::setAsideEarlierNotes(number);
        if (!contact.notes.isEmpty())
            notes::write(number, contact.notes);
        writeRecordAt(fileType, number, record);
        numbers.append(number);
    }
    if (!numbers.isEmpty())
        indexfile::updateCount(fileType, numbers.last());
    IndexLines = indexfile::read();
    return numbers;
}

void replaceContact(int number, const ContactRecord &record, const QString &notes)
{
    const IndexTable table = indexfile::read();
    const QChar fileType = indexfile::fileTypeLetter(table).at(0);
    if (fileType == QLatin1Char('S'))
        throw DataError(paths::DataFile,
                        QStringLiteral("a sequential data file cannot be edited in place"));
    notes::write(number, notes);
    writeRecordAt(fileType, number, record);
}

} // namespace cardomine::store
