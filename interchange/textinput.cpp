// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/textinput.h"

#include <QStringDecoder>

namespace cardomine::interchange {

namespace {

constexpr qsizetype QuotedLength = 80;

enum class Utf16
{
    No,
    LittleEndian,
    BigEndian,
};

// A byte order mark, else the pattern ASCII text leaves in UTF-16: a NUL in every
// other byte. The first 256 character pairs decide; a text of other scripts with a
// mark is read by the mark.
Utf16 utf16Of(const QByteArray &bytes, qsizetype &skip)
{
    skip = 0;
    if (bytes.startsWith("\xFF\xFE")) {
        skip = 2;
        return Utf16::LittleEndian;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        skip = 2;
        return Utf16::BigEndian;
    }
    const qsizetype pairs = std::min<qsizetype>(bytes.size() / 2, 256);
    if (pairs < 2)
        return Utf16::No;
    qsizetype evenNuls = 0, oddNuls = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        evenNuls += bytes.at(2 * i) == '\0';
        oddNuls += bytes.at(2 * i + 1) == '\0';
    }
    // Most pairs ASCII, and the other byte of a pair never NUL.
    if (oddNuls * 2 > pairs && evenNuls == 0)
        return Utf16::LittleEndian;
    if (evenNuls * 2 > pairs && oddNuls == 0)
        return Utf16::BigEndian;
    return Utf16::No;
}

void appendEscaped(QString &out, char16_t c)
{
    switch (c) {
    case u'\r':
        out += QLatin1String("\\r");
        break;
    case u'\n':
        out += QLatin1String("\\n");
        break;
    case u'\t':
        out += QLatin1String("\\t");
        break;
    default:
        out += QLatin1String("\\x") + QString::number(c, 16).rightJustified(2, u'0');
    }
}

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

} // namespace

QByteArray utf16AsUtf8(const QByteArray &bytes)
{
    qsizetype skip = 0;
    const Utf16 form = utf16Of(bytes, skip);
    if (form == Utf16::No)
        return bytes;
    QStringDecoder decoder(form == Utf16::LittleEndian ? QStringDecoder::Utf16LE
                                                       : QStringDecoder::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    return QString(decoder.decode(QByteArrayView(bytes).sliced(skip))).toUtf8();
}

QString quotedInput(QStringView text)
{
    QString out;
    const qsizetype shown = std::min(text.size(), QuotedLength);
    out.reserve(shown + 8);
    for (qsizetype i = 0; i < shown; ++i) {
        const char16_t c = text.at(i).unicode();
        if (isControl(c))
            appendEscaped(out, c);
        else
            out += QChar(c);
    }
    if (text.size() > shown)
        out += QChar(0x2026); // …
    return out;
}

QString quotedInput(QByteArrayView bytes)
{
    // Enough bytes for 80 characters of UTF-8; only those are decoded.
    const QByteArrayView head = bytes.first(std::min(bytes.size(), QuotedLength * 4 + 4));
    QString out = quotedInput(QString::fromUtf8(head));
    if (head.size() < bytes.size() && !out.endsWith(QChar(0x2026)))
        out += QChar(0x2026);
    return out;
}

QString caseFolded(QString text)
{
    bool upper = false;
    for (const QChar c : std::as_const(text)) {
        if (c.unicode() >= 0x80)
            return std::move(text).toCaseFolded();
        upper = upper || (c >= u'A' && c <= u'Z');
    }
    if (upper)
        for (QChar &c : text) // detaches only here, when a letter changes
            if (c >= u'A' && c <= u'Z')
                c = QChar(c.unicode() + (u'a' - u'A'));
    return text;
}

} // namespace cardomine::interchange
