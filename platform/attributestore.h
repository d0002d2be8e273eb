// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

// How files::attributes and files::setAttributes keep DOS attributes on Linux, in a
// form Wine and Samba read the same way:
//   read-only        the file has no write permission bits;
//   hidden, system   the extended attribute user.DOSATTRIB, text "0x" + lower-case
//                    hex of those two bits, absent when neither is set;
//   archive          computed: user.cardomine.seal records the file's identity and
//                    a digest of its content when the program last set its
//                    attributes, and whether it asked for archive. The bit reads as
//                    set when asked for, when the content changed since, or when
//                    there is no record. A copy, a restored backup or a touch gives
//                    the file a new identity but the same content: the digest, read
//                    only when the identity differs, keeps the seal.
// Where the file system has no user extended attributes, a sidecar file ".dosattrib"
// in the same folder holds the same two values, one line per file name. Where it
// cannot hold write permission bits either (exFAT, NTFS through FUSE: chmod succeeds
// and changes nothing), the seal record keeps the read-only bit as well.
//
// The text formats are parsed by the pure functions below, which accept any bytes.
namespace cardomine::platform::attributestore {

inline constexpr char DosAttribName[] = "user.DOSATTRIB";
inline constexpr char SealName[] = "user.cardomine.seal";
inline constexpr char SidecarName[] = ".dosattrib";

// What changes when anyone writes, replaces or touches a file. The change time is
// left out on purpose: setting attributes moves it.
struct FileIdentity
{
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // modification time, nanoseconds since the epoch

    bool operator==(const FileIdentity &) const = default;
};

// The content digest: the file cut into chunks of DigestChunk bytes, each chunk
// hashed (BLAKE2b) together with its number, and the hashes added up in four 64-bit
// lanes. A sum can be brought up to date after a write from the chunks the write
// touched, without reading the rest of the file.
inline constexpr std::int64_t DigestChunk = 4096;

class Digest
{
public:
    void add(std::int64_t chunk, QByteArrayView bytes);
    void remove(std::int64_t chunk, QByteArrayView bytes);
    // Adds or removes every chunk of `bytes`, the first one being chunk `firstChunk`.
    void addChunks(std::int64_t firstChunk, QByteArrayView bytes);
    void removeChunks(std::int64_t firstChunk, QByteArrayView bytes);
    QByteArray hex() const; // 64 lower-case hex digits
    static std::optional<Digest> fromHex(const QByteArray &hex);

    bool operator==(const Digest &) const = default;

private:
    std::array<std::uint64_t, 4> m_lanes{};
};

struct Seal
{
    Seal() = default;
    Seal(const FileIdentity &sealedIdentity, bool askedArchive,
         const QByteArray &contentDigest = {}, bool readOnlyWasKept = false)
        : identity(sealedIdentity)
        , archive(askedArchive)
        , digest(contentDigest)
        , readOnlyKept(readOnlyWasKept)
    {}

    FileIdentity identity;
    bool archive = false; // the program asked for the archive bit
    // The Digest::hex of the content when sealed; empty in records that have none
    // (written before digests, or asking for archive, where the content says nothing).
    QByteArray digest;
    // The program asked for read-only and the file system kept the write bits.
    bool readOnlyKept = false;

    bool operator==(const Seal &) const = default;
};

// The hidden and system bits of a user.DOSATTRIB value: "0x" or "0X" and hex digits,
// optionally ended by a NUL and anything after it (Samba's blob forms start with
// such a text). Other bits in the number (read-only, archive, Samba's directory or
// normal bits) are ignored: read-only lives in the permission bits and archive in
// the seal, as Wine does. Anything else, or a number beyond 32 bits, means no bits.
int parseDosAttrib(const QByteArray &value);
// The whole number of such a text, every bit kept; nothing when it is not one.
std::optional<std::uint32_t> parseDosAttribNumber(const QByteArray &value);
// The user.DOSATTRIB text for the hidden and system bits of attributes ("0x6" for
// 7); empty when neither is set, meaning the attribute is removed.
QByteArray formatDosAttrib(int attributes);

// The seal text is "1:<inode>:<size>:<modifiedNs>:<archive 0|1>", decimal digits
// only (the time may be negative), or, with a digest or a kept read-only bit,
// "2:<inode>:<size>:<modifiedNs>:<archive 0|1>:<read-only kept 0|1>:<digest or empty>".
// Anything else gives no seal.
std::optional<Seal> parseSeal(const QByteArray &text);
QByteArray formatSeal(const Seal &seal);

// Whether a seal still holds for a file whose identity is `current`: the same
// identity, or the same size and content. currentDigest (Digest::hex of the file as
// it is now) is called only when the identity differs.
bool sealHolds(const Seal &seal, const FileIdentity &current,
               const std::function<QByteArray()> &currentDigest);

// The attributes a file reads as. dosNumber is the whole user.DOSATTRIB number, if
// the file has one: it decides the archive bit of a file no seal of ours covers.
int combine(bool readOnly, int hiddenSystem, const std::optional<Seal> &seal,
            const FileIdentity &current, const std::function<QByteArray()> &currentDigest = {},
            const std::optional<std::uint32_t> &dosNumber = std::nullopt);

// The sidecar: after an optional comment line starting with "#", one line per file,
// "<name> <DOSATTRIB text or -> <seal text or ->", the name with every byte outside
// "!".."~" and every "%" and "#" written as %XX. Lines that do not parse are skipped;
// the last line for a name wins.
struct SidecarEntry
{
    int hiddenSystem = 0;
    std::optional<Seal> seal;

    bool operator==(const SidecarEntry &) const = default;
};
using Sidecar = std::map<QByteArray, SidecarEntry>; // by file name, as stored on disk

Sidecar parseSidecar(const QByteArray &bytes);
QByteArray formatSidecar(const Sidecar &sidecar);
QByteArray escapeName(const QByteArray &name);
// The name, or nothing when the text is not a valid escaped name.
std::optional<QByteArray> unescapeName(const QByteArray &text);

// Tests use the sidecar even where extended attributes work.
void forceSidecar(bool force);
bool sidecarForced();

// Forgets what this process learnt about files (digests, whether write bits hold), as
// a new process would. For tests that rewrite files behind the program's back faster
// than the file system's clock moves.
void forgetKnownFiles();

} // namespace cardomine::platform::attributestore
