// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/textcodec.h"

#include <QTest>

#include <array>

using namespace cardomine::platform;
using namespace Qt::StringLiterals;

namespace {

// Windows-1252 from 0x80 to 0x9F, written out independently of Qt; 0 marks the
// five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

class TestTextCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodes_data();
    void encodes();
    void decodesEveryByte();
    void roundTripsEveryByte();
    void splitsLines_data();
    void splitsLines();
    void joinsLines();
};

void TestTextCodec::encodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ascii") << u"Cardomine 1.0, Pelvarin"_s << QByteArray("Cardomine 1.0, Pelvarin");
    QTest::newRow("e acute") << u"Andr\u00e9"_s << QByteArray("Andr\xe9");
    QTest::newRow("euro") << u"\u20ac5"_s
                          << QByteArray("\x80"
                                        "5");
    QTest::newRow("curly quotes and dash")
        << u"\u201cHi\u201d \u2013"_s << QByteArray("\x93Hi\x94 \x96");
    QTest::newRow("latin-1 upper half") << u"\u00ff\u00a0\u00c4"_s << QByteArray("\xff\xa0\xc4");
    QTest::newRow("cjk becomes question mark") << u"a\u65e5b"_s << QByteArray("a?b");
    QTest::newRow("emoji is one question mark") << u"x\U0001F600y"_s << QByteArray("x?y");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    QTest::newRow("C1 control without a byte") << QString(QChar(0x80)) << QByteArray("?");
    QTest::newRow("undefined byte's code point") << QString(QChar(0x8D)) << QByteArray("\x8d");
    QTest::newRow("real SUB stays SUB") << QString(QChar(0x1A)) << QByteArray("\x1a");
    QTest::newRow("combining accent composes") << u"e\u0301"_s << QByteArray("\xe9");
    QTest::newRow("uncomposable accent") << u"q\u0301"_s << QByteArray("q?");
    QTest::newRow("accent after a run of ASCII")
        << u"Cafe\u0301 Paris"_s << QByteArray("Caf\xe9 Paris");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestTextCodec::encodes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(text::encode(text), bytes);
}

void TestTextCodec::decodesEveryByte()
{
    for (int byte = 0; byte < 256; ++byte) {
        char16_t expected = char16_t(byte);
        if (byte >= 0x80 && byte < 0xA0 && HighControls[byte - 0x80] != 0)
            expected = HighControls[byte - 0x80];
        const QString decoded = text::decode(QByteArray(1, char(byte)));
        QVERIFY2(decoded.size() == 1 && decoded.at(0).unicode() == expected,
                 qPrintable(u"byte 0x%1 decodes to %2"_s.arg(byte, 2, 16, QLatin1Char('0'))
                                .arg(decoded.toUcs4().value(0), 0, 16)));
    }
}

void TestTextCodec::roundTripsEveryByte()
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all.append(char(byte));
    QCOMPARE(text::encode(text::decode(all)), all);
}

void TestTextCodec::splitsLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("one line") << QByteArray("a\r\n") << QStringList{u"a"_s};
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("empty lines count")
        << QByteArray("\r\n\r\nx\r\n") << QStringList{QString(), QString(), u"x"_s};
    QTest::newRow("lone CR and LF stay in the line")
        << QByteArray("a\rb\nc\r\n") << QStringList{u"a\rb\nc"_s};
    QTest::newRow("decoded as Windows-1252")
        << QByteArray("\x80\r\n\xe9") << QStringList{u"\u20ac"_s, u"\u00e9"_s};
}

void TestTextCodec::splitsLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QCOMPARE(text::splitLines(bytes), lines);
}

void TestTextCodec::joinsLines()
{
    const QStringList lines{u"Num_Of_Records=1"_s, QString(), u"caf\u00e9 \u65e5"_s};
    const QByteArray bytes = text::joinLines(lines);
    QCOMPARE(bytes, QByteArray("Num_Of_Records=1\r\n\r\ncaf\xe9 ?\r\n"));
    QCOMPARE(text::splitLines(bytes),
             (QStringList{u"Num_Of_Records=1"_s, QString(), u"caf\u00e9 ?"_s}));
}

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
