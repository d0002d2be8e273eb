// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/attributestore.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/posixio.h"

#include <QHash>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace cardomine::platform {

using namespace posixio;

namespace attributestore {

namespace {

struct Stored
{
    int hiddenSystem = 0;
    std::optional<Seal> seal;
    std::optional<std::uint32_t> dosNumber; // user.DOSATTRIB's whole number, if any
};

enum class XattrRead
{
    Found,
    Absent,
    Unsupported
};

bool unsupported(int errorCode)
{
    return errorCode == ENOTSUP || errorCode == EOPNOTSUPP;
}

FileIdentity identityOf(const struct stat &info)
{
    return FileIdentity{std::uint64_t(info.st_ino), std::int64_t(info.st_size),
                        std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

QByteArray sidecarOf(const QByteArray &native)
{
    return folderOf(native) + '/' + SidecarName;
}

// What this process knows about the files it sealed or read, so that browsing (two
// attribute changes per record) neither reads the whole data file for its digest nor
// probes the file system again.
struct Known
{
    FileIdentity identity; // the digest is the content's at this identity
    std::optional<Digest> digest;
    dev_t device = 0; // the file system facts are about this file
    ino_t inode = 0;
    std::optional<bool> writeBitsHold; // chmod a-w really clears the write bits
};

QHash<QByteArray, Known> &knownFiles()
{
    thread_local QHash<QByteArray, Known> known;
    return known;
}

Known &knownFor(const QByteArray &native)
{
    QHash<QByteArray, Known> &known = knownFiles();
    if (known.size() >= 64 && !known.contains(native))
        known.clear();
    return known[native];
}

std::optional<Digest> knownDigest(const QByteArray &native, const FileIdentity &identity)
{
    const QHash<QByteArray, Known> &known = knownFiles();
    const auto found = known.constFind(native);
    if (found == known.cend() || found->identity != identity)
        return std::nullopt;
    return found->digest;
}

void rememberDigest(const QByteArray &native, const FileIdentity &identity, const Digest &digest)
{
    Known &known = knownFor(native);
    known.identity = identity;
    known.digest = digest;
}

void forgetDigest(const QByteArray &native)
{
    if (const auto found = knownFiles().find(native); found != knownFiles().end())
        found->digest.reset();
}

// Reads the file whole, in steps, for its digest.
Digest computeDigest(const QByteArray &native, const QString &operation, const QString &programPath)
{
    // Not blocking: a FIFO under the name is read as what it holds, not waited on.
    const int fd = sysCall(
        "open", [&] { return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0)
        fail(operation, programPath, errno);
    Descriptor file(fd);
    Digest digest;
    QByteArray buffer(16 * DigestChunk, Qt::Uninitialized);
    std::int64_t chunk = 0;
    for (bool end = false; !end;) {
        const qsizetype filled =
            readInto(fd, buffer.data(), buffer.size(), -1, ReadEnd::AtEmptyRead);
        if (filled < 0)
            fail(operation, programPath, errno);
        end = filled < buffer.size();
        // The buffer holds whole chunks, but for the file's last one.
        digest.addChunks(chunk, QByteArrayView(buffer).first(filled));
        chunk += filled / DigestChunk;
    }
    // Closed unchecked on the way out: everything wanted has been read.
    return digest;
}

Digest digestFor(const QByteArray &native, const FileIdentity &identity, const QString &operation,
                 const QString &programPath)
{
    if (const auto known = knownDigest(native, identity))
        return *known;
    const Digest digest = computeDigest(native, operation, programPath);
    rememberDigest(native, identity, digest);
    return digest;
}

XattrRead readXattr(const QByteArray &native, const char *name, QByteArray &value,
                    const QString &operation, const QString &programPath)
{
    value.resize(256);
    for (;;) {
        const ssize_t size = sysCall("getxattr", [&] {
            return ::getxattr(native.constData(), name, value.data(), size_t(value.size()));
        });
        if (size >= 0) {
            value.resize(size);
            return XattrRead::Found;
        }
        if (errno == ENODATA)
            return XattrRead::Absent;
        if (unsupported(errno))
            return XattrRead::Unsupported;
        // Samba's blobs can be longer than our own texts; the kernel caps values at 64 KiB.
        if (errno == ERANGE && value.size() < 64 * 1024) {
            value.resize(value.size() * 4);
            continue;
        }
        fail(operation, programPath, errno);
    }
}

// False when the file system has no user extended attributes.
bool writeXattrs(const QByteArray &native, const SidecarEntry &entry, const QString &operation,
                 const QString &programPath)
{
    const QByteArray dos = formatDosAttrib(entry.hiddenSystem);
    int result = 0;
    if (dos.isEmpty()) {
        result = sysCall("removexattr",
                         [&] { return ::removexattr(native.constData(), DosAttribName); });
        if (result != 0 && errno == ENODATA)
            result = 0;
    } else {
        result = sysCall("setxattr", [&] {
            return ::setxattr(native.constData(), DosAttribName, dos.constData(),
                              size_t(dos.size()), 0);
        });
    }
    if (result != 0) {
        if (unsupported(errno))
            return false;
        fail(operation, programPath, errno);
    }
    const QByteArray seal = entry.seal ? formatSeal(*entry.seal) : QByteArray();
    result = sysCall("setxattr", [&] {
        return ::setxattr(native.constData(), SealName, seal.constData(), size_t(seal.size()), 0);
    });
    if (result != 0) {
        if (unsupported(errno))
            return false;
        fail(operation, programPath, errno);
    }
    return true;
}

Sidecar loadSidecar(const QByteArray &sidecarPath, const QString &operation,
                    const QString &programPath)
{
    return parseSidecar(readWhole(sidecarPath, -1, true, operation, programPath));
}

void saveSidecar(const QByteArray &sidecarPath, const Sidecar &sidecar, const QString &operation,
                 const QString &programPath)
{
    if (!sidecar.empty()) {
        replaceWhole(sidecarPath, formatSidecar(sidecar), operation, programPath);
        return;
    }
    if (sysCall("unlink", [&] { return ::unlink(sidecarPath.constData()); }) != 0) {
        if (errno == ENOENT)
            return;
        fail(operation, programPath, errno);
    }
    syncFolder(folderOf(sidecarPath), operation, programPath);
}

Stored readStored(const QByteArray &native, const FileIdentity &identity, const QString &operation,
                  const QString &programPath)
{
    if (!sidecarForced()) {
        QByteArray dos;
        QByteArray seal;
        const XattrRead dosRead = readXattr(native, DosAttribName, dos, operation, programPath);
        if (dosRead != XattrRead::Unsupported) {
            const XattrRead sealRead = readXattr(native, SealName, seal, operation, programPath);
            if (sealRead != XattrRead::Unsupported) {
                Stored stored;
                if (dosRead == XattrRead::Found) {
                    stored.hiddenSystem = parseDosAttrib(dos);
                    stored.dosNumber = parseDosAttribNumber(dos);
                }
                if (sealRead == XattrRead::Found)
                    stored.seal = parseSeal(seal);
                return stored;
            }
        }
    }
    const Sidecar sidecar = loadSidecar(sidecarOf(native), operation, programPath);
    const auto found = sidecar.find(nameOf(native));
    if (found == sidecar.end())
        return {};
    const SidecarEntry &entry = found->second;
    // Extended attributes belong to the inode; so does a sidecar line, or to a faithful
    // copy of its file (a copied folder, a file system that numbers its files anew at
    // each mount). A line left by a different file under the same name says nothing.
    if (entry.seal && entry.seal->identity.inode != identity.inode &&
        !sealHolds(*entry.seal, identity,
                   [&] { return digestFor(native, identity, operation, programPath).hex(); }))
        return {};
    return Stored{entry.hiddenSystem, entry.seal, std::nullopt};
}

} // namespace

void forgetEntry(const QByteArray &native, const QString &operation, const QString &programPath)
{
    // A file made under the name later may get the same inode number.
    knownFiles().remove(native);
    const QByteArray sidecarPath = sidecarOf(native);
    Sidecar sidecar = loadSidecar(sidecarPath, operation, programPath);
    if (sidecar.erase(nameOf(native)) > 0)
        saveSidecar(sidecarPath, sidecar, operation, programPath);
}

void followMove(const QByteArray &fromNative, const QByteArray &toNative, const QString &operation,
                const QString &programPath)
{
    knownFiles().remove(fromNative);
    knownFiles().remove(toNative);
    const QByteArray fromSidecar = sidecarOf(fromNative);
    const QByteArray toSidecar = sidecarOf(toNative);
    Sidecar source = loadSidecar(fromSidecar, operation, programPath);
    const auto found = source.find(nameOf(fromNative));
    if (found == source.end())
        return;
    const SidecarEntry entry = found->second;
    source.erase(found);
    if (fromSidecar != toSidecar) {
        // The target's line first: a failure in between leaves a line in both
        // sidecars, and the one beside the source names no file any more.
        Sidecar target = loadSidecar(toSidecar, operation, programPath);
        target[nameOf(toNative)] = entry;
        saveSidecar(toSidecar, target, operation, programPath);
    } else {
        source[nameOf(toNative)] = entry;
    }
    saveSidecar(fromSidecar, source, operation, programPath);
}

void forgetKnownFiles()
{
    knownFiles().clear();
}

ContentWrite::ContentWrite(int fd, const QByteArray &native, std::int64_t offset,
                           QByteArrayView bytes)
    : m_native(native)
{
    struct stat info
    {};
    if (::fstat(fd, &info) != 0)
        return;
    const std::optional<Digest> known = knownDigest(native, identityOf(info));
    if (!known)
        return;
    const std::int64_t oldSize = info.st_size;
    const std::int64_t at = offset < 0 ? oldSize : offset;
    const std::int64_t end = at + bytes.size();
    m_newSize = std::max(oldSize, end);
    // The chunks from the first one written (or the old end, when the write leaves a
    // gap that reads as zeros) to the last one written.
    const std::int64_t from = std::min(at, oldSize) / DigestChunk * DigestChunk;
    const std::int64_t last = (end + DigestChunk - 1) / DigestChunk * DigestChunk;
    QByteArray before(qsizetype(std::max<std::int64_t>(0, std::min(oldSize, last) - from)),
                      Qt::Uninitialized);
    const int reader = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (reader < 0)
        return;
    qsizetype done = 0;
    while (done < before.size()) {
        const ssize_t got =
            ::pread(reader, before.data() + done, size_t(before.size() - done), off_t(from + done));
        if (got <= 0)
            break;
        done += got;
    }
    ::close(reader);
    if (done != before.size())
        return;
    QByteArray after(qsizetype(std::min(m_newSize, last) - from), '\0');
    std::copy(before.cbegin(), before.cend(), after.begin());
    std::copy(bytes.cbegin(), bytes.cend(), after.begin() + (at - from));
    m_digest = *known;
    m_digest.removeChunks(from / DigestChunk, before);
    m_digest.addChunks(from / DigestChunk, after);
    m_tracking = true;
}

ContentWrite::~ContentWrite()
{
    if (!m_done)
        forgetDigest(m_native);
}

void ContentWrite::done(int fd)
{
    struct stat info
    {};
    if (!m_tracking || ::fstat(fd, &info) != 0 || info.st_size != m_newSize)
        return;
    rememberDigest(m_native, identityOf(info), m_digest);
    m_done = true;
}

} // namespace attributestore

namespace files {

using namespace attributestore;

namespace {

constexpr mode_t WriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

constexpr char NtfsAttributesName[] = "system.ntfs_attrib_be";

// NTFS's own attribute bits as ntfs-3g shows them (big-endian), or nothing where the
// file system has none.
std::optional<quint32> ntfsAttributes(const QByteArray &native)
{
    unsigned char bytes[4] = {};
    if (::getxattr(native.constData(), NtfsAttributesName, bytes, sizeof bytes) != sizeof bytes)
        return std::nullopt;
    return qFromBigEndian<quint32>(bytes);
}

// Sets NTFS's own bits for the attributes; best effort, since the seal record holds
// the same bits for this program.
void mirrorNtfsAttributes(const QByteArray &native, int value)
{
    constexpr quint32 Ours = ReadOnly | Hidden | System | Archive;
    constexpr quint32 NtfsNormal = 0x80; // set alone, when no other bit is
    const std::optional<quint32> had = ntfsAttributes(native);
    if (!had)
        return;
    quint32 bits = *had;
    bits = (bits & ~(Ours | NtfsNormal)) | (quint32(value) & Ours);
    if (bits == 0)
        bits = NtfsNormal;
    unsigned char bytes[4] = {};
    qToBigEndian(bits, bytes);
    ::setxattr(native.constData(), NtfsAttributesName, bytes, sizeof bytes, 0);
}

void statFile(const QByteArray &native, struct stat &info, const QString &operation,
              const QString &programPath)
{
    if (sysCall("stat", [&] { return ::stat(native.constData(), &info); }) != 0)
        fail(operation, programPath, errno);
    if (S_ISDIR(info.st_mode))
        fail(operation, programPath, EISDIR);
}

} // namespace

namespace {

// What a file's attributes read as, from its status and its stored records.
struct Reading
{
    FileIdentity identity;
    Stored stored;
    int value = 0;
};

Reading readAttributes(const QByteArray &native, const struct stat &info, const QString &operation,
                       const QString &path)
{
    const FileIdentity identity = identityOf(info);
    Stored stored = readStored(native, identity, operation, path);
    if (stored.seal && stored.seal->identity == identity) {
        const std::optional<Digest> sealed = Digest::fromHex(stored.seal->digest);
        const std::optional<Digest> known = knownDigest(native, identity);
        // This process wrote the file within the time stamp's resolution of sealing
        // it: the identity did not change, but what it knows of the content did.
        if (known && sealed && *known != *sealed)
            stored.seal->archive = true;
        else if (sealed)
            rememberDigest(native, identity, *sealed);
    }
    // Where the write bits do not hold, NTFS's own bits are the file's attributes as
    // Windows sets them (an "attrib -r" there breaks the seal too).
    if (stored.seal && stored.seal->readOnlyKept) {
        if (const std::optional<quint32> ntfs = ntfsAttributes(native)) {
            stored.seal->readOnlyKept = (*ntfs & ReadOnly) != 0;
            stored.hiddenSystem = int(*ntfs) & (Hidden | System);
        }
    }
    const int value = combine(
        (info.st_mode & WriteBits) == 0, stored.hiddenSystem, stored.seal, identity,
        [&] { return digestFor(native, identity, operation, path).hex(); }, stored.dosNumber);
    return Reading{identity, std::move(stored), value};
}

} // namespace

int attributes(const QString &path)
{
    const QString operation = QStringLiteral("read the attributes of");
    const QByteArray native = nativeBytes(path, operation);
    struct stat info
    {};
    statFile(native, info, operation, path);
    return readAttributes(native, info, operation, path).value;
}

bool attributesHold(const QString &path, int value) noexcept
{
    try {
        const QString operation = QStringLiteral("read the attributes of");
        const QByteArray native = writableNativeBytes(path, operation);
        struct stat info
        {};
        // Only a file setAttributes would change: not a link, and the user's own.
        if (sysCall("lstat", [&] { return ::lstat(native.constData(), &info); }) != 0 ||
            !S_ISREG(info.st_mode) || (info.st_uid != ::geteuid() && ::geteuid() != 0))
            return false;
        const Reading reading = readAttributes(native, info, operation, path);
        const std::optional<Seal> &seal = reading.stored.seal;
        // Sealed at this very identity, with its digest, asking for no more than it
        // shows: setting the value again would write the same record.
        if (reading.value != value || !seal || seal->identity != reading.identity ||
            seal->archive != ((value & Archive) != 0) ||
            (seal->digest.isEmpty() && (value & Archive) == 0))
            return false;
        // The stored hidden and system bits are exactly these, with nothing else
        // beside them that setting the value would drop.
        const int hiddenSystem = value & (Hidden | System);
        if (reading.stored.dosNumber && *reading.stored.dosNumber != std::uint32_t(hiddenSystem))
            return false;
        // Normal gives the owner reading and writing.
        constexpr mode_t OwnerReadWrite = S_IRUSR | S_IWUSR;
        return (value & ReadOnly) != 0 || (info.st_mode & OwnerReadWrite) == OwnerReadWrite;
    } catch (...) {
        return false;
    }
}

void setAttributes(const QString &path, int value)
{
    const QString operation = QStringLiteral("set the attributes of");
    const QByteArray native = writableNativeBytes(path, operation);
    struct stat info
    {};
    // A symbolic link in the data folder is not followed: changing the mode and the
    // extended attributes of whatever it points to would change a file elsewhere.
    if (sysCall("lstat", [&] { return ::lstat(native.constData(), &info); }) != 0)
        fail(operation, path, errno);
    if (S_ISLNK(info.st_mode))
        fail(operation, path, ELOOP);
    if (S_ISDIR(info.st_mode))
        fail(operation, path, EISDIR);

    const mode_t original = info.st_mode & 07777;
    mode_t current = original;
    auto changeMode = [&](mode_t mode) {
        if (sysCall("chmod", [&] { return ::chmod(native.constData(), mode); }) != 0)
            fail(operation, path, errno);
        current = mode;
    };
    // On failure the file keeps the permissions it had.
    auto restoreMode = [&] {
        if (current != original)
            ::chmod(native.constData(), original);
    };

    const FileIdentity identity = identityOf(info);
    const bool readOnly = (value & ReadOnly) != 0;
    const bool archive = (value & Archive) != 0;
    try {
        // Whether this file system keeps a file without write bits: exFAT and NTFS
        // through FUSE take a chmod and change nothing. Known for a file once it is
        // seen without write bits, or once it has been tried.
        std::optional<bool> writeBitsHold;
        {
            Known &known = knownFor(native);
            if (known.device != info.st_dev || known.inode != info.st_ino) {
                known.device = info.st_dev;
                known.inode = info.st_ino;
                known.writeBitsHold.reset();
            }
            if ((original & WriteBits) == 0)
                known.writeBitsHold = true;
            writeBitsHold = known.writeBitsHold;
        }
        if (readOnly && !writeBitsHold) {
            changeMode(original & ~WriteBits);
            struct stat after
            {};
            if (sysCall("lstat", [&] { return ::lstat(native.constData(), &after); }) != 0)
                fail(operation, path, errno);
            current = after.st_mode & 07777;
            writeBitsHold = (current & WriteBits) == 0;
            knownFor(native).writeBitsHold = writeBitsHold;
        }

        // The content's digest, unless the file is to read as changed anyway.
        QByteArray digest;
        if (!archive)
            digest = digestFor(native, identity, operation, path).hex();
        const SidecarEntry entry{
            value & (Hidden | System),
            Seal{identity, archive, digest, readOnly && writeBitsHold == false}};

        bool stored = false;
        if (!sidecarForced()) {
            // Without write permission a user extended attribute cannot be changed,
            // even by the owner: lift read-only for the time of the change.
            if ((current & S_IWUSR) == 0)
                changeMode(current | S_IWUSR);
            stored = writeXattrs(native, entry, operation, path);
        }
        if (!stored) {
            const QByteArray sidecarPath = sidecarOf(native);
            Sidecar sidecar = loadSidecar(sidecarPath, operation, path);
            sidecar[nameOf(native)] = entry;
            saveSidecar(sidecarPath, sidecar, operation, path);
        }
        // Read-only is no write permission for anybody; clearing it gives the owner
        // back reading and writing.
        const mode_t wanted = readOnly ? (original & ~WriteBits) : (original | S_IRUSR | S_IWUSR);
        if (wanted != current)
            changeMode(wanted);
        // Where the write bits do not hold, the file system may have DOS attributes
        // of its own (ntfs-3g shows NTFS's): set them too, for Windows to see.
        if (writeBitsHold == false)
            mirrorNtfsAttributes(native, value);
    } catch (const FileError &) {
        restoreMode();
        throw;
    }
}

} // namespace files

} // namespace cardomine::platform
