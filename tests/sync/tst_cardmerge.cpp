// SPDX-License-Identifier: GPL-3.0-or-later
// A record changed in the card file goes back into the phone's vCard: only the
// properties behind the changed boxes change, and what the phone holds beyond the card
// file's narrow boxes stays.
#include "sync/cardmerge.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::sync;
using namespace Qt::StringLiterals;

namespace {

const QByteArray Phone =
    u"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-7\r\n"
    "FN:Łukasz Wójcik\r\nN:Wójcik;Łukasz;;;\r\n"
    "TEL;TYPE=CELL:+84 90 123 4567\r\nTEL;TYPE=HOME:020 555 0101\r\n"
    "EMAIL:lukasz.wojcik.with.a.long.address@example.com\r\n"
    "BDAY:1980-02-03\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQ\r\n"
    "NOTE:Мария says hi 🙂\r\nX-CUSTOM:kept\r\nEND:VCARD\r\n"_s.toUtf8();

} // namespace

class TestCardMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void merge_data()
    {
        QTest::addColumn<int>("box"); // -1: the own notes
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::addColumn<QString>("phoneNote"); // the phone's NOTE when not the usual one
        const QStringList phoneOwn{u"FN:Łukasz Wójcik"_s,
                                   u"TEL;TYPE=CELL:+84 90 123 4567"_s,
                                   u"EMAIL:lukasz.wojcik.with.a.long.address@example.com"_s,
                                   u"BDAY:1980-02-03"_s,
                                   u"NOTE:Мария says hi 🙂"_s,
                                   u"X-CUSTOM:kept"_s,
                                   u"UID:phone-7"_s};
        QTest::newRow("home phone") << int(FieldBox::HomePhone) << u"020 555 9999"_s
                                    << (QStringList(phoneOwn) << u"TEL;TYPE=HOME:020 555 9999"_s)
                                    << QStringList{u"0101"_s} << QString();
        QTest::newRow("last name keeps the given name's letters")
            << int(FieldBox::LastName) << u"Nowak"_s
            << QStringList{u"N:Nowak;Łukasz;;;"_s, u"FN:Łukasz Nowak"_s,
                           u"TEL;TYPE=CELL:+84 90 123 4567"_s, u"BDAY:1980-02-03"_s}
            << QStringList{u"Wójcik"_s} << QString();
        QTest::newRow("mobile emptied")
            << int(FieldBox::PagerMobile) << QString()
            << QStringList{u"TEL;TYPE=HOME:020 555 0101"_s, u"FN:Łukasz Wójcik"_s}
            << QStringList{u"+84"_s} << QString();
        QTest::newRow("e-mail box now a fax")
            << int(FieldBox::FaxOrEmail) << u"020 555 0199"_s
            << QStringList{u"TEL;TYPE=fax:020 555 0199"_s, u"BDAY:1980-02-03"_s}
            << QStringList{u"EMAIL"_s} << QString();
        QTest::newRow("city added") << int(FieldBox::City) << u"Kraków"_s
                                    << (QStringList(phoneOwn) << u"ADR;TYPE=home:;;;Kraków;;;"_s)
                                    << QStringList() << QString();
        QTest::newRow("company added")
            << int(FieldBox::Company) << u"Acme; Ltd"_s
            << (QStringList(phoneOwn) << u"ORG:Acme\\; Ltd"_s) << QStringList() << QString();
        QTest::newRow("own notes")
            << -1 << u"Call after 6"_s << QStringList{u"NOTE:Call after 6"_s, u"X-CUSTOM:kept"_s}
            << QStringList{u"Мария"_s} << QString();
        // The note's own text stays as the phone spells it when only conflict lines come.
        QTest::newRow("conflict lines after the notes")
            << -1 << u"????? says hi ?\r\n--- Sync conflict 1 ---\r\nCity: Ely"_s
            << QStringList{u"NOTE:Мария says hi 🙂\\n--- Sync conflict 1 ---\\nCity: Ely"_s}
            << QStringList{u"?????"_s} << QString();
        // Conflict lines the note held already keep the phone's letters.
        QTest::newRow("conflict lines after earlier ones")
            << -1 << u"A\r\n--- Sync conflict 1\r\nName: ????\r\n--- Sync conflict 2\r\nCity: E"_s
            << QStringList{u"NOTE:A\\n--- Sync conflict 1\\nName: Иван\\n--- Sync conflict 2\\nCity: E"_s}
            << QStringList{u"???"_s} << u"A\\n--- Sync conflict 1\\nName: Иван"_s;
    }
    void merge()
    {
        QFETCH(int, box);
        QFETCH(QString, value);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QFETCH(QString, phoneNote);
        QByteArray phone = Phone;
        if (!phoneNote.isEmpty())
            phone.replace(u"NOTE:Мария says hi 🙂"_s.toUtf8(),
                          (u"NOTE:"_s + phoneNote).toUtf8());
        const std::optional<Boxes> seen = renderedBoxes(phone);
        QVERIFY(seen);
        // The card file's view is narrow: cut and with "?" for what it lacks.
        QCOMPARE(seen->box[size_t(FieldBox::FirstName)], u"?ukasz"_s);
        QCOMPARE(seen->box[size_t(FieldBox::PagerMobile)], u"+84 90 123 4"_s);

        QCOMPARE(mergeIntoCard(phone, *seen, *seen), phone);
        Boxes now = *seen;
        if (box < 0)
            now.ownNotes = value;
        else
            now.box[size_t(box)] = value;
        const QByteArray merged = mergeIntoCard(phone, *seen, now);
        const QString text = QString::fromUtf8(merged);
        for (const QString &line : present)
            QVERIFY2(text.contains(u"\r\n"_s + line + u"\r\n"_s), qPrintable(text));
        for (const QString &part : absent)
            QVERIFY2(!text.contains(part), qPrintable(text));
        // What the card file makes of the merged card is the record as it now is.
        QCOMPARE(renderedBoxes(merged), std::optional<Boxes>(now));
    }
};

QTEST_GUILESS_MAIN(TestCardMerge)
#include "tst_cardmerge.moc"
