// SPDX-License-Identifier: GPL-3.0-or-later
// Finding contacts in their bytes as stored: the same answer as in the decoded text,
// in any letter case and with or without accents, for every kind of byte.
#include "datastore/contactrecord.h"
#include "platform/textcodec.h"
#include "tool/contactsearch.h"

#include <QTest>

using namespace cardomine;
using namespace Qt::StringLiterals;

class TestContactSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedBytes_data()
    {
        QTest::addColumn<QString>("city");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<bool>("found");
        const QString zoe = u"Zoë Brontë"_s;
        QTest::newRow("accent dropped") << zoe << QString() << QStringList{u"zoe"_s} << true;
        QTest::newRow("accent typed, other case")
            << zoe << QString() << QStringList{u"BRONTË"_s} << true;
        QTest::newRow("any accent typed") << zoe << QString() << QStringList{u"zöe"_s} << true;
        QTest::newRow("other letter") << zoe << QString() << QStringList{u"zoa"_s} << false;
        // The city fills its box; the state follows it on disk.
        QTest::newRow("across two boxes") << u"Springfield Springfield Spring"_s << QString()
                                          << QStringList{u"springil"_s} << false;
        QTest::newRow("a full box") << u"Springfield Springfield Spring"_s << QString()
                                    << QStringList{u"field spring"_s} << true;
        QTest::newRow("NUL in a box")
            << u"Ann\0Lee"_s << QString() << QStringList{u"lee"_s, u"ANNLEE"_s} << false;
        QTest::newRow("box and notes") << u"Springfield"_s << u"Café crème\r\n"_s
                                       << QStringList{u"SPRING"_s, u"creme"_s} << true;
        QTest::newRow("one word missing") << u"Springfield"_s << u"Café crème\r\n"_s
                                          << QStringList{u"spring"_s, u"tea"_s} << false;
        QTest::newRow("ligature and sharp s")
            << u"Æsop Straße"_s << QString() << QStringList{u"æsop"_s, u"STRASSE"_s} << false;
        QTest::newRow("sharp s kept")
            << u"Straße"_s << QString() << QStringList{u"straße"_s} << true;
        QTest::newRow("fraction, trade mark")
            << QString() << u"½ price™ deal"_s << QStringList{u"1⁄2"_s, u"pricetm"_s} << true;
        QTest::newRow("ellipsis") << QString() << u"wait…"_s << QStringList{u"wait..."_s} << true;
        QTest::newRow("lone diaeresis") << u"a¨b"_s << QString() << QStringList{u"ab"_s} << false;
        QTest::newRow("upper Œ") << u"ŒUVRE"_s << QString() << QStringList{u"œuvre"_s} << true;
        QTest::newRow("line end the program adds")
            << QString() << u"end\r\n"_s << QStringList{u"end"_s} << true;
    }
    void storedBytes()
    {
        QFETCH(QString, city);
        QFETCH(QString, notes);
        QFETCH(QStringList, words);
        QFETCH(bool, found);
        ContactRecord record;
        record.FirstName = u"Ann"_s;
        record.City = city;
        record.State = u"IL"_s;
        record.ContactID = u"7"_s;
        const tool::ContactMatcher matcher(words);
        // The decoded text is the rule; the stored bytes must give the same answer.
        QCOMPARE(matcher.matches(record, notes), found);
        const QByteArray bytes = record.toRandomBytes();
        const QByteArray notesBytes = platform::text::encode(notes);
        std::vector<int> missing;
        matcher.wordsNotInBoxes(bytes, missing);
        QCOMPARE(missing.empty() || matcher.notesHold(notesBytes, missing), found);
    }

    // A record cut short at the end of the file reads as padded with spaces.
    void cutRecord()
    {
        const tool::ContactMatcher matcher({u"ANN"_s, u"lee"_s});
        std::vector<int> missing;
        matcher.wordsNotInBoxes("Ann       Lee", missing);
        QVERIFY(missing.empty());
        matcher.wordsNotInBoxes("Ann", missing);
        QCOMPARE(missing, std::vector<int>{1});
    }
};

QTEST_GUILESS_MAIN(TestContactSearch)
#include "tst_contactsearch.moc"
