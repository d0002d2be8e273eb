#include "platform/attributestore.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "platform/posixio.h"

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

Stored readStored(const QByteArray &native, std::uint64_t inode, const QString &operation,
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
                if (dosRead == XattrRead::Found)
                    stored.hiddenSystem = parseDosAttrib(dos);
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
    // Extended attributes belong to the inode; so does a sidecar line. A line left
    // by a file that was since replaced under the same name says nothing.
    if (entry.seal && entry.seal->identity.inode != inode)
        return {};
    return Stored{entry.hiddenSystem, entry.seal};
}

} // namespace

void forgetEntry(const QByteArray &native, const QString &operation, const QString &programPath)
{
    const QByteArray sidecarPath = sidecarOf(native);
    Sidecar sidecar = loadSidecar(sidecarPath, operation, programPath);
    if (sidecar.erase(nameOf(native)) > 0)
        saveSidecar(sidecarPath, sidecar, operation, programPath);
}

void followMove(const QByteArray &fromNative, const QByteArray &toNative, const QString &operation,
                const QString &programPath)
{
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

} // namespace attributestore

namespace files {

using namespace attributestore;

namespace {

constexpr mode_t WriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

void statFile(const QByteArray &native, struct stat &info, const QString &operation,
              const QString &programPath)
{
    if (sysCall("stat", [&] { return ::stat(native.constData(), &info); }) != 0)
        fail(operation, programPath, errno);
    if (S_ISDIR(info.st_mode))
        fail(operation, programPath, EISDIR);
}

} // namespace

int attributes(const QString &path)
{
    const QString operation = QStringLiteral("read the attributes of");
    const QByteArray native = nativeBytes(path, operation);
    struct stat info
    {};
    statFile(native, info, operation, path);
    const FileIdentity identity = identityOf(info);
    const Stored stored = readStored(native, identity.inode, operation, path);
    return combine((info.st_mode & WriteBits) == 0, stored.hiddenSystem, stored.seal, identity);
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

    const SidecarEntry entry{value & (Hidden | System),
                             Seal{identityOf(info), (value & Archive) != 0}};
    try {
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
        const mode_t wanted =
            (value & ReadOnly) ? (original & ~WriteBits) : (original | S_IRUSR | S_IWUSR);
        if (wanted != current)
            changeMode(wanted);
    } catch (const FileError &) {
        restoreMode();
        throw;
    }
}

} // namespace files

} // namespace cardomine::platform
