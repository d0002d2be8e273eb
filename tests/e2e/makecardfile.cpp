// SPDX-License-Identifier: GPL-3.0-or-later
// The card file of the sync run, written by the store's own code so that it stays sealed
// as the program leaves it.
//   makecardfile                      three contacts, the second with notes
//   makecardfile set N FIELD TEXT     field FIELD (0 = first name ... 10 = fax or e-mail)
//                                     of contact N set to TEXT, as Edit / Save Edit does
#include "datastore/appendcontacts.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "datastore/seal.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QStringList>

using namespace cardomine;
namespace files = cardomine::platform::files;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 5 && arguments.at(1) == QLatin1String("set")) {
        const int number = arguments.at(2).toInt();
        ContactRecord record;
        record.setFromRandomBytes(
            files::readRecord(paths::DataFile, number, ContactRecord::Length));
        record.setField(static_cast<FieldBox>(arguments.at(3).toInt()), arguments.at(4));
        store::replaceContact(number, record, notes::read(number));
        return 0;
    }
    files::createFolder(QStringLiteral("c:\\Program Files"));
    files::createFolder(paths::DataFolder);
    files::createFolder(paths::NotesFolder);
    indexfile::create(0);
    files::replaceBytes(paths::DataFile, QByteArray());
    files::setAttributes(paths::DataFile, seal::DataFile);

    const auto contact = [](std::initializer_list<std::pair<FieldBox, const char16_t *>> fields,
                            const char16_t *notes) {
        store::NewContact c;
        for (const auto &[box, text] : fields)
            c.record.setField(box, QString::fromUtf16(text));
        c.record.DataType = QStringLiteral("Contacts");
        c.notes = QString::fromUtf16(notes);
        return c;
    };
    store::appendContacts({
        contact({{FieldBox::FirstName, u"Ada"},
                 {FieldBox::LastName, u"Lovelace"},
                 {FieldBox::Company, u"Analytical Engines"},
                 {FieldBox::City, u"London"},
                 {FieldBox::HomePhone, u"020.555.0101"},
                 {FieldBox::FaxOrEmail, u"ada@example.org"}},
                u""),
        contact({{FieldBox::FirstName, u"Émile"},
                 {FieldBox::LastName, u"Zola"},
                 {FieldBox::Address, u"1 Rue de la Paix"},
                 {FieldBox::City, u"Paris"},
                 {FieldBox::Zip, u"75002"},
                 {FieldBox::WorkPhone, u"01.555.0199"}},
                u"Prefers letters.\r\nCafé at 9"),
        contact({{FieldBox::FirstName, u"Zoë"},
                 {FieldBox::LastName, u"Brontë"},
                 {FieldBox::City, u"Haworth"},
                 {FieldBox::State, u"WY"},
                 {FieldBox::PagerMobile, u"555.0102"}},
                u""),
    });
    return 0;
}
