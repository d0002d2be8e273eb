// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// File services for a folder the user names by its own (native) path, outside the drive:
// the folder of vCard files that cardomine-tool sync keeps in step with the card file.
// Every failure throws FileError naming the native path.
namespace cardomine::platform::files {

struct NativeEntry
{
    QString name;             // file name within the folder
    std::int64_t size = 0;    // bytes
    std::int64_t mtimeNs = 0; // modification time, nanoseconds since the epoch
    std::uint64_t inode = 0;
};

// The regular files of a native folder (symbolic links and subfolders left out), sorted
// by name, with what stat tells of each.
QList<NativeEntry> listNativeEntries(const QString &nativeFolder);

// Every entry of a native folder as it is, symbolic links not followed: a link is
// reported as a link, whatever it points to. Sorted by name.
enum class NativeKind
{
    File,
    Folder,
    Link,
    Other // a FIFO, a device, a socket
};
struct NativeItem
{
    QString name;
    NativeKind kind = NativeKind::Other;
    std::int64_t size = 0;    // bytes, for a file
    std::int64_t mtimeNs = 0; // modification time, nanoseconds since the epoch
    std::uint64_t inode = 0;
};
// What each entry comes with: all its facts (one stat per entry), or its kind only,
// taken from the folder listing where the file system gives it there (size, time and
// inode are then 0). Listing a big folder is many times faster without the stats.
enum class ItemFacts
{
    All,
    KindOnly
};
QList<NativeItem> listNativeItems(const QString &nativeFolder, ItemFacts facts = ItemFacts::All);
// One entry of a native folder as listNativeItems reports it, without listing the rest;
// none when nothing has that name.
std::optional<NativeItem> nativeItem(const QString &nativeFolder, const QString &name);

// Reads a regular file named by a native path, never through a symbolic link (its last
// part being a link fails with ELOOP), at most maxBytes of it (all when negative).
QByteArray readNativeFileNoFollow(const QString &nativePath, std::int64_t maxBytes = -1);

// Removes a file named by a native path, then flushes its folder.
void deleteNativeFile(const QString &nativePath);
// Renames a file of a native folder over another of the same folder, then flushes it.
void moveNativeFile(const QString &fromPath, const QString &toPath);

// The native path of a program folder as the file system spells it (names found in any
// letter case), for listNativeEntries.
QString nativeFolderPath(const QString &programPath);

// Throws FileError (with the system's reason) unless the native folder exists and files
// can be created in it.
void checkNativeFolderWritable(const QString &nativeFolder);

} // namespace cardomine::platform::files
