#include "platform/nativefolder.h"

#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/posixio.h"

#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cardomine::platform::files {

using namespace posixio;

namespace {

QByteArray encoded(const QString &nativePath, const QString &operation)
{
    if (nativePath.isEmpty() || nativePath.contains(QChar(0)))
        fail(operation, nativePath, EINVAL);
    return QFile::encodeName(nativePath);
}

std::int64_t nanoseconds(const struct timespec &time)
{
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

QList<NativeEntry> listNativeEntries(const QString &nativeFolder)
{
    const QString operation = QStringLiteral("list the folder");
    QList<NativeEntry> entries;
    forEachEntry(encoded(nativeFolder, operation), operation, nativeFolder,
                 [&](int fd, const dirent &entry) {
                     if (entry.d_type != DT_REG && entry.d_type != DT_UNKNOWN)
                         return;
                     struct stat info
                     {};
                     if (::fstatat(fd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                         !S_ISREG(info.st_mode))
                         return;
                     entries.append({QFile::decodeName(entry.d_name), std::int64_t(info.st_size),
                                     nanoseconds(info.st_mtim), std::uint64_t(info.st_ino)});
                 });
    std::sort(entries.begin(), entries.end(),
              [](const NativeEntry &a, const NativeEntry &b) { return a.name < b.name; });
    return entries;
}

void deleteNativeFile(const QString &nativePath)
{
    const QString operation = QStringLiteral("delete");
    const QByteArray native = encoded(nativePath, operation);
    if (sysCall("unlink", [&] { return ::unlink(native.constData()); }) != 0)
        fail(operation, nativePath, errno);
    syncFolder(folderOf(native), operation, nativePath);
}

QString nativeFolderPath(const QString &programPath)
{
    return QFile::decodeName(resolvePath(programPath).native);
}

void checkNativeFolderWritable(const QString &nativeFolder)
{
    const QString operation = QStringLiteral("write into");
    const QByteArray native = encoded(nativeFolder, operation);
    struct stat info
    {};
    if (sysCall("stat", [&] { return ::stat(native.constData(), &info); }) != 0)
        fail(operation, nativeFolder, errno);
    if (!S_ISDIR(info.st_mode))
        fail(operation, nativeFolder, ENOTDIR);
    // Try it: permissions alone do not tell (a read-only mount, or root).
    QByteArray probe = native + "/.cardomine-probe-XXXXXX";
    const int fd = sysCall("open", [&] { return ::mkostemp(probe.data(), O_CLOEXEC); });
    if (fd < 0)
        fail(operation, nativeFolder, errno);
    ::close(fd);
    ::unlink(probe.constData());
}

} // namespace cardomine::platform::files
