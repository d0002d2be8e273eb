// SPDX-License-Identifier: GPL-3.0-or-later
// The way out of the card file: what import kept whole in a contact's notes goes out
// whole, each value as its own vCard property, and comes back the same.
#include "interchange/cardfileid.h"
#include "interchange/exportformats.h"
#include "interchange/importreader.h"
#include "interchange/wholecontact.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::interchange;
using namespace Qt::StringLiterals;

namespace {

Contact contactOf(const QString &boxes, const QString &notes)
{
    Contact c;
    c.position = 2;
    const QStringList values = boxes.split(u'|');
    for (int i = 0; i < FieldBoxCount; ++i)
        c.record.setField(FieldBox(i), values.value(i));
    c.record.ContactID = u"2"_s;
    c.record.DataType = u"Contacts"_s;
    c.notes = notes;
    return c;
}

QString unfolded(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).replace(u"\r\n "_s, QString());
}

const QString Heading = u"Imported values that do not fit a box:"_s;

} // namespace

class TestLossless : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void vcardOut_data()
    {
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("cut phone and e-mail go out whole")
            << u"Ada|Lovelace||||||(404) 555-12|||verylongname.lovelace@example.co"_s
            << Heading + u"\r\nHome phone: (404) 555-1212\r\nFax or e-mail: "
                         u"verylongname.lovelace@example.com"_s
            << QStringList{u"TEL;TYPE=home:(404) 555-1212"_s,
                           u"EMAIL:verylongname.lovelace@example.com"_s}
            << QStringList{u"555-12\r\n"_s, u"example.co\r\n"_s, u"NOTE"_s};
        QTest::newRow("a box changed since: as it is, the old value stays note text")
            << u"Ada|Lovelace||||||555 0000|||"_s
            << u"Call after six.\r\n"_s + Heading + u"\r\nHome phone: (404) 555-1212"_s
            << QStringList{u"TEL;TYPE=home:555 0000"_s, u"NOTE:Call after six.\\n"_s + Heading +
                                                            u"\\nHome phone: (404) 555-1212"_s}
            << QStringList{u"TEL;TYPE=home:(404)"_s};
        QTest::newRow("values with no box go out as properties")
            << u"Ada|Lovelace||||||||||"_s
            << u"Own words.\r\n"_s + Heading +
                   u"\r\nPhone (cell): 555 0101\r\nE-mail (work): ada@work.example\r\n"
                   u"Address (work): 1 Main St, Springfield\r\nBirthday: 1815-12-10\r\n"
                   u"Web page: https://example.org/ada\r\nTitle: Countess\r\nNickname: "
                   u"Ada\r\nPhoto (jpeg): QUJD\r\nX-JABBER: ada@jabber.example\r\nPhone "
                   u"(Mobile): 555 0202"_s
            << QStringList{u"TEL;TYPE=cell:555 0101"_s,
                           u"EMAIL;TYPE=work:ada@work.example"_s,
                           u"ADR;TYPE=work:;;1 Main St\\, Springfield;;;;"_s,
                           u"BDAY:1815-12-10"_s,
                           u"URL:https://example.org/ada"_s,
                           u"TITLE:Countess"_s,
                           u"NICKNAME:Ada"_s,
                           u"PHOTO;TYPE=jpeg:QUJD"_s,
                           u"X-JABBER:ada@jabber.example"_s,
                           u"item1.TEL;X-CARDOMINE-LABEL=\"Phone (Mobile)\":555 0202"_s,
                           u"item1.X-ABLABEL:Mobile"_s,
                           u"NOTE:Own words.\r\n"_s}
            << QStringList{Heading};
        QTest::newRow("a box's own label goes out with it")
            << u"Ada|Lovelace||||||555 0101|||"_s << Heading + u"\r\nHome phone label: Mobile"_s
            << QStringList{u"item1.TEL;TYPE=home:555 0101"_s, u"item1.X-ABLABEL:Mobile"_s}
            << QStringList{u"NOTE"_s};
        QTest::newRow("a box's kind goes out as its types, words as written")
            << u"Ada|Lovelace||1 Rd|||||||555 0199"_s
            << Heading + u"\r\nFax or e-mail type: Work Fax\r\nAddress type: home"_s
            << QStringList{u"TEL;TYPE=work,fax;X-CARDOMINE-KIND=\"Work Fax\":555 0199"_s,
                           u"ADR;TYPE=home:;;1 Rd;;;;"_s}
            << QStringList{u"NOTE"_s, u"TYPE=fax:"_s};
        QTest::newRow("a box's kind in words that name no type")
            << u"Ada|Lovelace||||||555 0101|||"_s << Heading + u"\r\nHome phone type: Main"_s
            << QStringList{u"TEL;TYPE=home;X-CARDOMINE-KIND=\"Main\":555 0101"_s}
            << QStringList{u"NOTE"_s};
        QTest::newRow("a property kept under its own name")
            << u"Mesa|||||||||||"_s << Heading + u"\r\nKIND: org"_s << QStringList{u"KIND:org"_s}
            << QStringList{u"NOTE"_s};
        QTest::newRow("an address kept whole goes out with its parts in place")
            << u"Ada|Lovelace||||||||||"_s
            << Heading + u"\r\nAddress (work): PO 5;Fl 2;1 Rd\\; rear;Town;TX;75001;USA"_s
            << QStringList{u"ADR;TYPE=work:PO 5;Fl 2;1 Rd\\; rear;Town;TX;75001;USA"_s}
            << QStringList{u"NOTE"_s};
        // Each goes back under its own label, in its place.
        QTest::newRow("CSV columns: the property with the column's name; the rest as ours")
            << u"Ada|Lovelace||||||||||"_s
            << Heading + u"\r\nWebsite 1 - Label: Profile\r\nWebsite 1 - Value: https://a.example"
                         u"\r\nBirth Day: 17\r\nCar Phone: 555 0177"_s
            << QStringList{u"X-CARDOMINE-VALUE;X-CARDOMINE-LABEL=\"Website 1 - Label\":Profile\r\n"
                           u"item1.URL;X-CARDOMINE-LABEL=\"Website 1 - "
                           u"Value\":https://a.example\r\n"
                           u"item1.X-ABLABEL:Website 1 - Value\r\n"
                           u"X-CARDOMINE-VALUE;X-CARDOMINE-LABEL=\"Birth Day\":17\r\n"
                           u"item2.TEL;X-CARDOMINE-LABEL=\"Car Phone\":555 0177"_s}
            << QStringList{u"URL:Profile"_s, u"BDAY"_s, u"NOTE"_s};
        QTest::newRow("an odd property name, a quote in a label, another program's UID")
            << u"Ada|Lovelace||||||||||"_s
            << Heading + u"\r\nX-messaging/twitter-All: @ada\r\nSay \"hi\": ^^\r\nUID: abc-1"_s
            << QStringList{u"X-CARDOMINE-VALUE;X-CARDOMINE-LABEL=\"X-messaging/twitter-All\":@ada"_s,
                           u"X-CARDOMINE-VALUE;X-CARDOMINE-LABEL=\"Say ^'hi^'\":^^"_s,
                           u"X-CARDOMINE-VALUE;X-CARDOMINE-LABEL=\"UID\":abc-1"_s}
            << QStringList{u"UID:abc-1"_s, u"NOTE"_s};
        QTest::newRow("a full e-mail box with no whole value is no TEL or EMAIL")
            << u"Ada|Lovelace|||||||||ada.lovelace@analytical.engine"_s << QString()
            << QStringList{u"NOTE:Fax or e-mail: ada.lovelace@analytical.engine"_s}
            << QStringList{u"TEL;TYPE=fax"_s, u"EMAIL"_s};
    }
    void vcardOut()
    {
        QFETCH(QString, boxes);
        QFETCH(QString, notes);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const QString card = unfolded(toVCard({contactOf(boxes, notes)}, QUuid()));
        for (const QString &text : present)
            QVERIFY2(card.contains(text), qPrintable(text + u"\n"_s + card));
        for (const QString &text : absent)
            QVERIFY2(!card.contains(text), qPrintable(text + u"\n"_s + card));
    }

    // Export gives a contact that came from another program that program's UID, once
    // per file; any other contact ours.
    // A card whose photo is in the photos folder is built where the drive may be used.
    void readsPhotosFolder_data()
    {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("reads");
        QTest::newRow("a photo kept in the photos folder")
            << Heading + u"\r\nPhoto (jpeg): photo-0123456789ab.jpg, 5321 bytes"_s << true;
        QTest::newRow("a photo given inline") << Heading + u"\r\nPhoto (jpeg): QUJD"_s << false;
        QTest::newRow("the name in the user's own notes")
            << u"Photo: photo-0123456789ab.jpg, 5321 bytes"_s << false;
    }
    void readsPhotosFolder()
    {
        QFETCH(QString, notes);
        QFETCH(bool, reads);
        const Contact c = contactOf(u"Ada|Lovelace||||||||||"_s, notes);
        QCOMPARE(interchange::readsPhotosFolder(wholeContact(c.record, c.notes)), reads);
    }

    void uidOut_data()
    {
        QTest::addColumn<QStringList>("notes"); // of contacts 1, 2, ...
        QTest::addColumn<QStringList>("uids");  // "ours": the card file's own
        const QString kept = Heading + u"\r\nUID: abc-1"_s;
        QTest::newRow("made here") << QStringList{QString()} << QStringList{u"ours"_s};
        QTest::newRow("from elsewhere") << QStringList{kept} << QStringList{u"abc-1"_s};
        QTest::newRow("two with one UID")
            << QStringList{kept, kept} << QStringList{u"abc-1"_s, u"ours"_s};
        QTest::newRow("merged from two programs")
            << QStringList{kept + u"\r\nUID: xyz-2"_s} << QStringList{u"abc-1"_s};
    }
    void uidOut()
    {
        QFETCH(QStringList, notes);
        QFETCH(QStringList, uids);
        const QUuid cardFile = QUuid::createUuidV5(QUuid(), u"test"_s);
        QList<Contact> contacts;
        for (qsizetype i = 0; i < notes.size(); ++i) {
            contacts.append(contactOf(u"Ada|Lovelace||||||||||"_s, notes.at(i)));
            contacts.last().position = int(i + 1);
            contacts.last().record.ContactID = QString::number(i + 1);
        }
        const QString out = unfolded(toVCard(contacts, cardFile, CardUid::Foreign));
        QStringList written;
        for (const QString &line : out.split(u"\r\n"_s))
            if (line.startsWith(u"UID:"_s))
                written.append(line.mid(4));
        QCOMPARE(written.size(), uids.size());
        for (qsizetype i = 0; i < uids.size(); ++i)
            QCOMPARE(written.at(i),
                     uids.at(i) == u"ours" ? contactUid(cardFile, int(i + 1)) : uids.at(i));
        // A second UID of a merged contact stays with it.
        QCOMPARE(out.contains(u"X-CARDOMINE-LABEL=\"UID\":xyz-2"_s),
                 notes.join(QString()).contains(u"xyz-2"_s));
    }

    // Both writers' output read back gives the record and the notes it came from.
    void readBack_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("vCard") << u"vcard"_s;
        QTest::newRow("CSV") << u"csv"_s;
    }
    void readBack()
    {
        QFETCH(QString, format);
        const QByteArray card =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lovelace-Byron-King-Noel;Bartholomew;;;\r\n"
            "TEL;TYPE=HOME:(404) 555-1212\r\nTEL;TYPE=CELL:555 0101\r\nTEL;TYPE=CELL:555 0102\r\n"
            "EMAIL:bartholomew.lovelace@example.com\r\nEMAIL;TYPE=WORK:b@work.example\r\n"
            "X-messaging/twitter-All:@b\r\nBDAY:1815-12-10\r\nX-JABBER:b@jabber.example\r\n"
            "ADR;TYPE=WORK:PO 5;Fl 2;1 Rd\\; rear;Town;TX;75001;USA\r\n"
            "ADR;TYPE=HOME:;;2 Home St;Hamlet;CA;90001;\r\nNOTE:Own words.\r\nEND:VCARD\r\n";
        const ReadResult first = readVCards(card);
        QVERIFY(first.ok());
        Contact c{1, first.contacts.first().record, first.contacts.first().notes};
        c.record.ContactID = u"1"_s;
        const QByteArray out = format == u"vcard" ? toVCard({c}, QUuid()) : toCsv({c});
        const ReadResult again = format == u"vcard" ? readVCards(out) : readCsv(out);
        QVERIFY2(again.ok(), qPrintable(again.error));
        ContactRecord record = again.contacts.first().record;
        record.ContactID = u"1"_s;
        QCOMPARE(record.toRandomBytes(), c.record.toRandomBytes());
        QCOMPARE(again.contacts.first().notes, c.notes);
    }
};

QTEST_GUILESS_MAIN(TestLossless)
#include "tst_lossless.moc"
