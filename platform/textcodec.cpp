// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/textcodec.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace cardomine::platform::text {

namespace {

struct CodePage
{
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, char> fromUnicode;
};

// Both directions as tables, built once from Qt's Windows-1252 decoder. Encoding
// through the table rather than QStringEncoder keeps a real U+001A apart from the
// 0x1A the encoder puts in for characters the code page lacks.
CodePage buildCodePage()
{
    CodePage page;
    QStringDecoder decoder("windows-1252", QStringDecoder::Flag::Stateless);
    for (int byte = 0; byte < 256; ++byte) {
        char16_t unit = char16_t(byte);
        if (byte >= 0x80 && decoder.isValid()) {
            const char raw = char(byte);
            const QString decoded = decoder.decode(QByteArrayView(&raw, 1));
            // 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in the code page;
            // they stand for U+0081 and so on, as Windows does, so that decoding and
            // encoding again gives back the same bytes.
            if (decoded.size() == 1 && decoded.at(0) != QChar::ReplacementCharacter &&
                decoded.at(0).unicode() != 0x1A)
                unit = decoded.at(0).unicode();
        }
        page.toUnicode[byte] = unit;
        page.fromUnicode.insert(unit, char(byte));
    }
    return page;
}

const CodePage &codePage()
{
    static const CodePage page = buildCodePage();
    return page;
}

} // namespace

QByteArray encode(const QString &text)
{
    // ASCII, the common case, is the same bytes in the code page.
    qsizetype ascii = 0;
    const QChar *units = text.constData();
    while (ascii < text.size() && units[ascii].unicode() < 0x80)
        ++ascii;
    if (ascii == text.size())
        return text.toLatin1();
    // The last ASCII character goes with the rest: a combining mark after it composes.
    ascii = std::max<qsizetype>(0, ascii - 1);
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < ascii; ++i)
        bytes.append(char(units[i].unicode()));

    const CodePage &page = codePage();
    // Composed form first, so that "e" plus a combining acute still becomes 0xE9.
    const QString composed = text.mid(ascii).normalized(QString::NormalizationForm_C);
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar ch = composed.at(i);
        if (ch.isHighSurrogate() && i + 1 < composed.size() &&
            composed.at(i + 1).isLowSurrogate()) {
            ++i; // one character outside the code page, one "?"
            bytes.append('?');
            continue;
        }
        const auto found = page.fromUnicode.constFind(ch.unicode());
        bytes.append(found != page.fromUnicode.cend() ? found.value() : '?');
    }
    return bytes;
}

QString decode(QByteArrayView bytes)
{
    const CodePage &page = codePage();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(page.toUnicode[static_cast<unsigned char>(byte)]);
    return text;
}

QByteArray joinLines(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += encode(line);
        bytes += "\r\n";
    }
    return bytes;
}

QStringList splitLines(const QByteArray &bytes)
{
    QStringList lines;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        if (end < 0)
            break;
        lines.append(decode(bytes.mid(start, end - start)));
        start = end + 2;
    }
    if (start < bytes.size())
        lines.append(decode(bytes.mid(start)));
    return lines;
}

} // namespace cardomine::platform::text
