// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/contactrecord.h"
#include "datastore/dataerror.h"
#include "storefixture.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

class TestContactRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetStore(); }
    void cleanup() { resetStore(); }

    void storingPadsOrCuts_data();
    void storingPadsOrCuts();
    void sampleRecordBytes();
    void randomBytesRoundTrip_data();
    void randomBytesRoundTrip();
    void randomBytesStayFixedWidth_data();
    void randomBytesStayFixedWidth();
    void sequentialLines();
    void sequentialTooShort_data();
    void sequentialTooShort();
    void contactNumber_data();
    void contactNumber();
};

void TestContactRecord::storingPadsOrCuts_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");

    const auto city = int(FieldBox::City);
    const auto state = int(FieldBox::State);
    QTest::newRow("city shorter than width")
        << city << u"Long Island City"_s << u"Long Island City              "_s;
    QTest::newRow("state cut to two") << state << u"New York 123"_s << u"Ne"_s;
    QTest::newRow("empty first name") << int(FieldBox::FirstName) << QString() << QString(10, u' ');
    QTest::newRow("empty fax") << int(FieldBox::FaxOrEmail) << QString() << QString(30, u' ');
    QTest::newRow("exact width zip") << int(FieldBox::Zip) << u"11101"_s << u"11101"_s;
    QTest::newRow("leading spaces kept")
        << int(FieldBox::LastName) << u"  Ng"_s << u"  Ng                "_s;
    QTest::newRow("full-width text stored back")
        << int(FieldBox::FirstName) << u"Tobin     "_s << u"Tobin     "_s;
}

void TestContactRecord::storingPadsOrCuts()
{
    QFETCH(int, box);
    QFETCH(QString, stored);
    QFETCH(QString, expected);

    ContactRecord r;
    r.setField(FieldBox(box), stored);
    QCOMPARE(r.fieldText(FieldBox(box)), expected);
    // Storing what was read leaves the field as it is.
    r.setField(FieldBox(box), r.fieldText(FieldBox(box)));
    QCOMPARE(r.fieldText(FieldBox(box)), expected);
}

void TestContactRecord::sampleRecordBytes()
{
    const QByteArray expected = padded("Tobin", 10) + padded("Marrack", 20) +
                                padded("Pelvarin", 40) + padded("1001 Pelvarin Way", 50) +
                                padded("Long Island City", 30) + "NY" + "11101" + "1     " +
                                "267.555.1212" + "212.555.0143" + QByteArray(12, ' ') +
                                padded("800.555.0199", 30) + padded("Contacts", 20);
    QCOMPARE(expected.size(), 249);
    const QByteArray bytes = sampleContact().toRandomBytes();
    QCOMPARE(bytes, expected);
    // Field offsets of the layout.
    QCOMPARE(bytes.mid(157, 6), QByteArray("1     "));
    QCOMPARE(bytes.mid(199, 12), QByteArray("800.555.0199"));
    QCOMPARE(bytes.mid(229, 8), QByteArray("Contacts"));
}

void TestContactRecord::randomBytesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("full record") << recordBytes("Ada", 7) << recordBytes("Ada", 7);
    QTest::newRow("windows-1252 letters")
        << padded("Ren\xe9\x80", 249) << padded("Ren\xe9\x80", 249);
    QTest::newRow("short input padded") << QByteArray("Tobin") << padded("Tobin", 249);
    QTest::newRow("empty input is spaces") << QByteArray() << QByteArray(249, ' ');
    QTest::newRow("longer input cut") << QByteArray(300, 'x') << QByteArray(249, 'x');
    // The sync compares records by their stored bytes without decoding them: every
    // byte value, those the code page leaves undefined and NUL among them, comes back.
    QByteArray every;
    for (int byte = 0; byte < 256; ++byte)
        every.append(char(byte));
    QTest::newRow("bytes 0-248") << every.first(249) << every.first(249);
    const QByteArray rest = every.mid(249) + every.first(249 - 7);
    QTest::newRow("bytes 249-255, then 0-241") << rest << rest;
}

void TestContactRecord::randomBytesRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);

    ContactRecord r;
    r.setFromRandomBytes(bytes);
    QCOMPARE(r.toRandomBytes(), expected);
}

void TestContactRecord::randomBytesStayFixedWidth_data()
{
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QByteArray>("fieldStart");

    QTest::newRow("not in the code page") << u"\u0416ack"_s << QByteArray("?ack      ");
    QTest::newRow("outside the basic plane") << u"A\U0001F600B"_s << QByteArray("A?");
    QTest::newRow("cut inside a pair") << u"abcdefghi\U0001F600"_s << QByteArray("abcdefghi");
}

void TestContactRecord::randomBytesStayFixedWidth()
{
    QFETCH(QString, firstName);
    QFETCH(QByteArray, fieldStart);

    ContactRecord r = recordOf("x", 4);
    r.FirstName = firstName;
    const QByteArray bytes = r.toRandomBytes();
    QCOMPARE(bytes.size(), 249);
    QVERIFY2(bytes.left(10).startsWith(fieldStart), bytes.left(10).constData());
    // The fields after it keep their places.
    QCOMPARE(bytes.mid(10), recordBytes("x", 4).mid(10));
}

void TestContactRecord::sequentialLines()
{
    const ContactRecord r = sampleContact();
    const QStringList expected = {
        u"Tobin     "_s,
        u"Marrack             "_s,
        u"Pelvarin"_s + QString(32, u' '),
        u"1001 Pelvarin Way"_s + QString(33, u' '),
        u"Long Island City              "_s,
        u"NY"_s,
        u"1     "_s,
        u"267.555.1212"_s,
        u"212.555.0143"_s,
        QString(12, u' '),
        u"800.555.0199                  "_s,
        u"11101"_s,
    };
    QCOMPARE(r.toSequentialLines(), expected);

    ContactRecord back;
    back.DataType = u"Kept"_s;
    back.setFromSequentialLines(expected + QStringList{u"next record"_s});
    QCOMPARE(back.DataType.text(), u"Kept"_s + QString(16, u' '));
    back.DataType = r.DataType.text();
    QCOMPARE(back, r);
}

void TestContactRecord::sequentialTooShort_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("eleven") << 11;
}

void TestContactRecord::sequentialTooShort()
{
    QFETCH(int, lineCount);
    ContactRecord r = sampleContact();
    const ContactRecord before = r;
    QStringList lines;
    for (int i = 0; i < lineCount; ++i)
        lines << u"line"_s;
    try {
        r.setFromSequentialLines(lines);
        QFAIL("a short sequential record was accepted");
    } catch (const DataError &e) {
        QCOMPARE(e.path(), paths::DataFile);
        QVERIFY2(e.message().startsWith(paths::DataFile + u": "), qPrintable(e.message()));
    }
    QCOMPARE(r, before);
}

void TestContactRecord::contactNumber_data()
{
    QTest::addColumn<QString>("contactId");
    QTest::addColumn<int>("expected"); // -1: not a number

    QTest::newRow("one padded") << u"1"_s << 1;
    QTest::newRow("twelve") << u"12"_s << 12;
    QTest::newRow("leading spaces") << u"  42"_s << 42;
    QTest::newRow("leading zeros") << u"000012"_s << 12;
    QTest::newRow("zero") << u"0"_s << 0;
    QTest::newRow("highest") << u"32767"_s << 32767;
    QTest::newRow("one above highest") << u"32768"_s << -1;
    QTest::newRow("six digits") << u"999999"_s << -1;
    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("letters") << u"abc"_s << -1;
    QTest::newRow("negative") << u"-5"_s << -1;
    QTest::newRow("digits then letter") << u"12a"_s << -1;
    QTest::newRow("inner space") << u"1 2"_s << -1;
    QTest::newRow("arabic-indic digit") << u"\u0663"_s << -1;
}

void TestContactRecord::contactNumber()
{
    QFETCH(QString, contactId);
    QFETCH(int, expected);

    ContactRecord r;
    r.ContactID = contactId;
    const std::optional<int> number = r.contactNumber();
    if (expected < 0)
        QVERIFY2(!number, qPrintable(QString::number(number.value_or(-1))));
    else
        QCOMPARE(number, std::optional<int>(expected));

    // Read straight from the stored bytes, second of two records, it is the same.
    r.FirstName = u"Zed"_s;
    ContactRecord first;
    first.ContactID = u"77"_s;
    const QByteArray bytes = first.toRandomBytes() + r.toRandomBytes();
    QCOMPARE(ContactRecord::numberInRandomBytes(bytes, ContactRecord::Length), number);
}

QTEST_GUILESS_MAIN(TestContactRecord)
#include "tst_contactrecord.moc"
