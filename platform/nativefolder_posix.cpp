// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/nativefolder.h"

#include "platform/drive.h"
#include "platform/fileerror.h"
#include "platform/posixio.h"
#include "platform/twothreads.h"

#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

NativeItem itemOf(const QString &name, const struct stat &info)
{
    NativeItem item;
    item.name = name;
    if (S_ISREG(info.st_mode))
        item.kind = NativeKind::File;
    else if (S_ISDIR(info.st_mode))
        item.kind = NativeKind::Folder;
    else if (S_ISLNK(info.st_mode))
        item.kind = NativeKind::Link;
    item.size = std::int64_t(info.st_size);
    item.mtimeNs = nanoseconds(info.st_mtim);
    item.inode = std::uint64_t(info.st_ino);
    return item;
}

// A folder with so many entries to stat has them stat'ed on two threads: each is a
// system call of its own, independent of the others.
constexpr std::size_t ManyStats = 1024;

// fstatat (not following a link) of each name of the folder open as fd; none for a name
// gone meanwhile.
std::vector<std::optional<struct stat>> statEach(int fd, const std::vector<const char *> &names)
{
    std::vector<std::optional<struct stat>> stats(names.size());
    const auto statOne = [&](std::size_t i) {
        struct stat info
        {};
        if (::fstatat(fd, names[i], &info, AT_SYMLINK_NOFOLLOW) == 0)
            stats[i] = info;
    };
    if (names.size() < ManyStats) {
        for (std::size_t i = 0; i < names.size(); ++i)
            statOne(i);
    } else {
        onTwoThreads(names.size(), statOne);
    }
    return stats;
}

} // namespace

QList<NativeEntry> listNativeEntries(const QString &nativeFolder)
{
    const QString operation = QStringLiteral("list the folder");
    QList<NativeEntry> entries;
    std::vector<std::string> names;
    forEachEntry(
        encoded(nativeFolder, operation), operation, nativeFolder,
        [&](int, const dirent &entry) {
            if (entry.d_type == DT_REG || entry.d_type == DT_UNKNOWN)
                names.emplace_back(entry.d_name);
        },
        [&](int fd) {
            std::vector<const char *> cNames;
            cNames.reserve(names.size());
            for (const std::string &name : names)
                cNames.push_back(name.c_str());
            const std::vector<std::optional<struct stat>> stats = statEach(fd, cNames);
            entries.reserve(qsizetype(names.size()));
            for (std::size_t i = 0; i < names.size(); ++i)
                if (const auto &info = stats[i]; info && S_ISREG(info->st_mode))
                    entries.append({QFile::decodeName(names[i].c_str()),
                                    std::int64_t(info->st_size), nanoseconds(info->st_mtim),
                                    std::uint64_t(info->st_ino)});
        });
    std::sort(entries.begin(), entries.end(),
              [](const NativeEntry &a, const NativeEntry &b) { return a.name < b.name; });
    return entries;
}

QList<NativeItem> listNativeItems(const QString &nativeFolder, ItemFacts facts)
{
    const QString operation = QStringLiteral("list the folder");
    // Names as the folder holds them, decoded once sorted.
    std::vector<std::pair<std::string, NativeItem>> listed;
    std::vector<std::size_t> toStat; // entries of listed whose facts a stat gives
    bool ascii = true;
    forEachEntry(
        encoded(nativeFolder, operation), operation, nativeFolder,
        [&](int fd, const dirent &entry) {
            // Room for every entry the folder's size allows (at least 12 bytes
            // each), so that a big folder is not copied as the list grows:
            // room never written to costs no memory.
            struct stat folder
            {};
            if (listed.empty() && ::fstat(fd, &folder) == 0)
                listed.reserve(
                    std::size_t(std::clamp<std::int64_t>(folder.st_size / 12, 16, 1 << 20)));
            auto &[name, item] = listed.emplace_back(entry.d_name, NativeItem());
            ascii = ascii && std::all_of(name.cbegin(), name.cend(), [](char c) {
                        return static_cast<unsigned char>(c) < 0x80;
                    });
            if (facts == ItemFacts::KindOnly && entry.d_type != DT_UNKNOWN) {
                if (entry.d_type == DT_REG)
                    item.kind = NativeKind::File;
                else if (entry.d_type == DT_DIR)
                    item.kind = NativeKind::Folder;
                else if (entry.d_type == DT_LNK)
                    item.kind = NativeKind::Link;
                return;
            }
            toStat.push_back(listed.size() - 1);
        },
        [&](int fd) {
            std::vector<const char *> names;
            names.reserve(toStat.size());
            for (const std::size_t at : toStat)
                names.push_back(listed[at].first.c_str());
            const std::vector<std::optional<struct stat>> stats = statEach(fd, names);
            // One gone meanwhile is reported as something else.
            for (std::size_t i = 0; i < toStat.size(); ++i)
                if (stats[i])
                    listed[toStat[i]].second = itemOf(QString(), *stats[i]);
        });
    QList<NativeItem> items;
    items.reserve(qsizetype(listed.size()));
    // Sorted by the decoded names. ASCII names sort the same as their bytes, which is
    // much quicker to compare; other names are decoded first.
    if (ascii) {
        // Each name's first eight bytes as one number settle most comparisons.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> order(listed.size());
        for (std::uint32_t at = 0; at < listed.size(); ++at) {
            std::uint64_t key = 0;
            const std::string &name = listed[at].first;
            for (std::size_t i = 0; i < 8; ++i)
                key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
            order[at] = {key, at};
        }
        std::sort(order.begin(), order.end(), [&listed](const auto &a, const auto &b) {
            return a.first != b.first ? a.first < b.first
                                      : listed[a.second].first < listed[b.second].first;
        });
        for (const auto &[key, at] : order) {
            auto &[name, item] = listed[at];
            item.name = QString::fromLatin1(name);
            items.append(std::move(item));
        }
        return items;
    }
    for (auto &[name, item] : listed) {
        item.name = QFile::decodeName(QByteArray::fromStdString(name));
        items.append(std::move(item));
    }
    std::sort(items.begin(), items.end(),
              [](const NativeItem &a, const NativeItem &b) { return a.name < b.name; });
    return items;
}

std::optional<NativeItem> nativeItem(const QString &nativeFolder, const QString &name)
{
    const QString operation = QStringLiteral("read");
    const QString path = nativeFolder + u'/' + name;
    const QByteArray native = encoded(path, operation);
    struct stat info
    {};
    if (sysCall("lstat", [&] { return ::lstat(native.constData(), &info); }) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        fail(operation, path, errno);
    }
    return itemOf(name, info);
}

QByteArray readNativeFileNoFollow(const QString &nativePath, std::int64_t maxBytes)
{
    const QString operation = QStringLiteral("read");
    const QByteArray native = encoded(nativePath, operation);
    // Not blocking: a FIFO under this name is opened and turned down, not waited on.
    const int fd = sysCall("open", [&] {
        return ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    });
    if (fd < 0)
        fail(operation, nativePath, errno);
    Descriptor file(fd);
    struct stat info
    {};
    if (sysCall("fstat", [&] { return ::fstat(fd, &info); }) != 0)
        fail(operation, nativePath, errno);
    if (S_ISDIR(info.st_mode))
        fail(operation, nativePath, EISDIR);
    if (!S_ISREG(info.st_mode))
        failNotRegular(operation, nativePath, info.st_mode);
    std::int64_t want = std::int64_t(info.st_size);
    if (maxBytes >= 0)
        want = std::min(want, maxBytes);
    QByteArray bytes;
    // What fstat saw, read in one go; a file that grew since is read in steps.
    qsizetype step = qsizetype(want) + 1;
    for (;;) {
        qsizetype ask = step;
        if (maxBytes >= 0)
            ask = qsizetype(std::min<std::int64_t>(ask, maxBytes - bytes.size()));
        if (ask <= 0)
            break;
        const qsizetype had = bytes.size();
        bytes.resize(had + ask);
        const qsizetype got = readInto(fd, bytes.data() + had, ask, -1, ReadEnd::AtEmptyRead);
        if (got < 0)
            fail(operation, nativePath, errno);
        bytes.resize(had + got);
        if (got < ask)
            break;
        step = 64 * 1024;
    }
    file.closeAfterReading();
    return bytes;
}

void deleteNativeFile(const QString &nativePath)
{
    const QString operation = QStringLiteral("delete");
    const QByteArray native = encoded(nativePath, operation);
    if (sysCall("unlink", [&] { return ::unlink(native.constData()); }) != 0)
        fail(operation, nativePath, errno);
    syncFolder(folderOf(native), operation, nativePath);
}

void moveNativeFile(const QString &fromPath, const QString &toPath)
{
    const QString operation = QStringLiteral("rename");
    const QByteArray from = encoded(fromPath, operation);
    const QByteArray to = encoded(toPath, operation);
    if (sysCall("rename", [&] { return ::rename(from.constData(), to.constData()); }) != 0)
        fail(operation, fromPath, errno);
    syncFolder(folderOf(to), operation, toPath);
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
