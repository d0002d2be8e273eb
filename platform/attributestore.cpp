// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/attributestore.h"

#include "platform/fileattributes.h"

#include <QCryptographicHash>
#include <QList>
#include <QStringBuilder>
#include <QtEndian>

#include <algorithm>
#include <limits>

namespace cardomine::platform::attributestore {

namespace {

constexpr int HiddenSystem = Hidden | System;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decimal digits only, no sign, no spaces, no overflow.
std::optional<std::uint64_t> parseUnsigned(QByteArrayView text)
{
    if (text.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = std::uint64_t(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> parseSigned(QByteArrayView text)
{
    const bool negative = text.startsWith('-');
    const auto magnitude = parseUnsigned(negative ? text.sliced(1) : text);
    constexpr auto Max = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    if (!magnitude || *magnitude > Max + (negative ? 1 : 0))
        return std::nullopt;
    if (negative)
        return *magnitude == Max + 1 ? std::numeric_limits<std::int64_t>::min()
                                     : -std::int64_t(*magnitude);
    return std::int64_t(*magnitude);
}

} // namespace

std::optional<std::uint32_t> parseDosAttribNumber(const QByteArray &value)
{
    QByteArrayView text(value);
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text = text.first(nul);
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    std::uint64_t number = 0;
    for (const char c : text.sliced(2)) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        number = number * 16 + std::uint64_t(digit);
        if (number > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return std::uint32_t(number);
}

int parseDosAttrib(const QByteArray &value)
{
    return int(parseDosAttribNumber(value).value_or(0)) & HiddenSystem;
}

QByteArray formatDosAttrib(int attributes)
{
    const int bits = attributes & HiddenSystem;
    if (bits == 0)
        return {};
    return QByteArray("0x") + QByteArray::number(bits, 16);
}

namespace {

// The hash of one chunk, with its number, as four 64-bit lanes.
std::array<std::uint64_t, 4> chunkHash(std::int64_t chunk, QByteArrayView bytes)
{
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    const quint64 number = qToLittleEndian(quint64(chunk));
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(&number), sizeof number));
    hash.addData(bytes);
    const QByteArrayView result = hash.resultView();
    std::array<std::uint64_t, 4> lanes{};
    for (std::size_t i = 0; i < lanes.size(); ++i)
        lanes[i] = qFromLittleEndian<quint64>(result.data() + i * 8);
    return lanes;
}

bool isDigestText(const QByteArray &text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace

void Digest::add(std::int64_t chunk, QByteArrayView bytes)
{
    const auto lanes = chunkHash(chunk, bytes);
    for (std::size_t i = 0; i < lanes.size(); ++i)
        m_lanes[i] += lanes[i];
}

void Digest::remove(std::int64_t chunk, QByteArrayView bytes)
{
    const auto lanes = chunkHash(chunk, bytes);
    for (std::size_t i = 0; i < lanes.size(); ++i)
        m_lanes[i] -= lanes[i];
}

void Digest::addChunks(std::int64_t firstChunk, QByteArrayView bytes)
{
    for (qsizetype at = 0; at < bytes.size(); at += DigestChunk)
        add(firstChunk++, bytes.sliced(at, std::min<qsizetype>(DigestChunk, bytes.size() - at)));
}

void Digest::removeChunks(std::int64_t firstChunk, QByteArrayView bytes)
{
    for (qsizetype at = 0; at < bytes.size(); at += DigestChunk)
        remove(firstChunk++, bytes.sliced(at, std::min<qsizetype>(DigestChunk, bytes.size() - at)));
}

QByteArray Digest::hex() const
{
    QByteArray bytes;
    for (const std::uint64_t lane : m_lanes) {
        const quint64 little = qToLittleEndian(quint64(lane));
        bytes.append(reinterpret_cast<const char *>(&little), sizeof little);
    }
    return bytes.toHex();
}

std::optional<Digest> Digest::fromHex(const QByteArray &hex)
{
    if (!isDigestText(hex))
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(hex);
    Digest digest;
    for (std::size_t i = 0; i < digest.m_lanes.size(); ++i)
        digest.m_lanes[i] = qFromLittleEndian<quint64>(bytes.constData() + i * 8);
    return digest;
}

std::optional<Seal> parseSeal(const QByteArray &text)
{
    const QList<QByteArray> fields = text.split(':');
    const bool first = fields.size() == 5 && fields[0] == "1";
    const bool second = fields.size() == 7 && fields[0] == "2";
    if (!first && !second)
        return std::nullopt;
    const auto inode = parseUnsigned(fields[1]);
    const auto size = parseSigned(fields[2]);
    const auto modified = parseSigned(fields[3]);
    if (!inode || !size || *size < 0 || !modified)
        return std::nullopt;
    const auto flag = [](const QByteArray &field) { return field == "0" || field == "1"; };
    if (!flag(fields[4]))
        return std::nullopt;
    Seal seal{FileIdentity{*inode, *size, *modified}, fields[4] == "1"};
    if (second) {
        if (!flag(fields[5]) || (!fields[6].isEmpty() && !isDigestText(fields[6])))
            return std::nullopt;
        seal.readOnlyKept = fields[5] == "1";
        seal.digest = fields[6];
    }
    return seal;
}

QByteArray formatSeal(const Seal &seal)
{
    const bool second = !seal.digest.isEmpty() || seal.readOnlyKept;
    QByteArray text = (second ? "2:" : "1:") + QByteArray::number(quint64(seal.identity.inode)) +
                      ':' + QByteArray::number(qint64(seal.identity.size)) + ':' +
                      QByteArray::number(qint64(seal.identity.modifiedNs)) + ':' +
                      (seal.archive ? '1' : '0');
    if (second)
        text += QByteArray(":") + (seal.readOnlyKept ? '1' : '0') + ':' + seal.digest;
    return text;
}

bool sealHolds(const Seal &seal, const FileIdentity &current,
               const std::function<QByteArray()> &currentDigest)
{
    if (seal.identity == current)
        return true;
    // A different size is a different content; the digest is not needed to say so.
    return !seal.digest.isEmpty() && seal.identity.size == current.size && currentDigest &&
           currentDigest() == seal.digest;
}

int combine(bool readOnly, int hiddenSystem, const std::optional<Seal> &seal,
            const FileIdentity &current, const std::function<QByteArray()> &currentDigest,
            const std::optional<std::uint32_t> &dosNumber)
{
    readOnly = readOnly || (seal && seal->readOnlyKept);
    int attributes = (readOnly ? ReadOnly : Normal) | (hiddenSystem & HiddenSystem);
    if (!seal) {
        // A file without write bits whose attributes a Windows program set under Wine
        // or over a Samba share: Wine keeps no archive bit (it reports one for every
        // file), Samba keeps it in the number. Such a file reads as that program left
        // it; any other file no seal of ours covers reads as written since.
        const bool setByWindows = readOnly && dosNumber && (*dosNumber & Archive) == 0;
        return setByWindows ? attributes : attributes | Archive;
    }
    if (seal->archive || !sealHolds(*seal, current, currentDigest))
        attributes |= Archive;
    return attributes;
}

QByteArray escapeName(const QByteArray &name)
{
    QByteArray text;
    text.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte <= '~' && c != '%' && c != '#') {
            text.append(c);
        } else {
            text.append('%');
            text.append("0123456789ABCDEF"[byte >> 4]);
            text.append("0123456789ABCDEF"[byte & 0xF]);
        }
    }
    return text;
}

std::optional<QByteArray> unescapeName(const QByteArray &text)
{
    QByteArray name;
    name.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexDigit(text[i + 1]);
            const int low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            name.append(char(high * 16 + low));
            i += 2;
        } else if (static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) <= '~' &&
                   c != '#') {
            name.append(c);
        } else {
            return std::nullopt;
        }
    }
    // A file name is never empty and never holds a slash or a NUL.
    if (name.isEmpty() || name.contains('/') || name.contains('\0') || name == "." || name == "..")
        return std::nullopt;
    return name;
}

Sidecar parseSidecar(const QByteArray &bytes)
{
    Sidecar sidecar;
    const QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3)
            continue;
        const std::optional<QByteArray> name = unescapeName(fields[0]);
        if (!name)
            continue;
        SidecarEntry entry;
        if (fields[1] != "-")
            entry.hiddenSystem = parseDosAttrib(fields[1]);
        if (fields[2] != "-")
            entry.seal = parseSeal(fields[2]);
        sidecar[*name] = entry;
    }
    return sidecar;
}

QByteArray formatSidecar(const Sidecar &sidecar)
{
    QByteArray bytes("# cardomine file attributes: name, hidden/system bits, seal\n");
    for (const auto &[name, entry] : sidecar) {
        const QByteArray dos = formatDosAttrib(entry.hiddenSystem);
        bytes += escapeName(name) + ' ' + (dos.isEmpty() ? QByteArray("-") : dos) + ' ' +
                 (entry.seal ? formatSeal(*entry.seal) : QByteArray("-")) + '\n';
    }
    return bytes;
}

namespace {
bool g_forceSidecar = false;
}

void forceSidecar(bool force)
{
    g_forceSidecar = force;
}

bool sidecarForced()
{
    return g_forceSidecar;
}

} // namespace cardomine::platform::attributestore
