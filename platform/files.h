// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/seenfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The file services the rest of the program uses. Every function takes a program
// path (Windows style, see drive.h), maps it, and throws FileError when the
// operation fails. Each system call made here counts as one operation for fault
// injection (faults.h).
namespace cardomine::platform::files {

bool fileExists(const QString &path);
bool folderExists(const QString &path);
// Creates one folder (its parent must exist), private to the user (mode 0700).
void createFolder(const QString &path);
void deleteFile(const QString &path);
// Renames a file; fails rather than overwrite an existing target.
void moveFile(const QString &from, const QString &to);

// Attributes as the sum of the DOS bits of fileattributes.h. See attributes_posix.cpp for
// how they are kept on Linux.
int attributes(const QString &path);
void setAttributes(const QString &path, int attributes);
// Whether the file already has `attributes`, recorded for its current content, so that
// setting them again would change nothing. False when that cannot be told (any
// failure): setting them then meets the failure itself.
bool attributesHold(const QString &path, int attributes) noexcept;

// The names of the regular files in a folder (not its subfolders), sorted by name.
// Hidden files (names starting with ".") are included.
QStringList listFiles(const QString &folder);

// Length in bytes of an existing file.
std::int64_t fileSize(const QString &path);

// Whole-file reads. readBytes reads at most maxBytes (all when negative).
QByteArray readBytes(const QString &path, std::int64_t maxBytes = -1);
// A long file read through one buffer: take gets each chunk of chunkSize bytes in order
// (the last may be shorter), up to maxBytes in all (all when negative).
void readInChunks(const QString &path, std::int64_t maxBytes, qsizetype chunkSize,
                  const std::function<void(QByteArrayView)> &take);
// readBytes for a file that may be missing: nothing when there is no regular file at
// the path (missing, a folder, a FIFO), in fewer system calls than asking first.
std::optional<QByteArray> readBytesIfFile(const QString &path, std::int64_t maxBytes = -1);
// readBytesIfFile for many files of one folder, found once: each name (as listFiles
// gives it, not a path) is opened in it. The results are in the order of the names.
std::vector<std::optional<QByteArray>>
readBytesIfFilesIn(const QString &folder, const QStringList &names, std::int64_t maxBytes = -1);
// The same for a native folder (nativeFolderPath): no drive mapping is asked, so it may
// run on a thread of its own.
std::vector<std::optional<QByteArray>> readNativeFilesIn(const QString &nativeFolder,
                                                         const QStringList &names,
                                                         std::int64_t maxBytes = -1);

// Replaces the file's content atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over the old one, then the folder is flushed.
// The new file starts without attributes (read back as Archive, like any file
// written by someone).
void replaceBytes(const QString &path, const QByteArray &bytes);

// replaceBytes, except that a file already holding exactly these bytes is left in
// place (and keeps its attributes): it is only flushed to disk, so the content is
// durable either way. Returns whether the file was replaced.
bool replaceBytesIfChanged(const QString &path, const QByteArray &bytes);
// Whether the file holds exactly these bytes; when it does, it is flushed to disk.
// False for a missing file; a file the program may not write fails (FileError).
bool flushIfHolding(const QString &path, const QByteArray &bytes);

// A replacement made in two steps, so that a caller can have the new content safely
// on disk before it changes anything else, and put it in place after: prepare writes
// and flushes a temporary file beside the file (the file itself is untouched); commit
// renames it over the file and flushes the folder. A replacement never committed is
// removed with its object. An empty object commits nothing.
class PreparedReplacement
{
public:
    PreparedReplacement() = default;
    PreparedReplacement(PreparedReplacement &&other) noexcept;
    PreparedReplacement &operator=(PreparedReplacement &&other) noexcept;
    ~PreparedReplacement();

    static PreparedReplacement prepare(const QString &path, const QByteArray &bytes);
    void commit();

private:
    void discard() noexcept;
    QByteArray m_native;
    QByteArray m_temporary;
    QString m_path;
};

// What stat tells of a file written: size, modification time (nanoseconds since the
// epoch) and inode, which a rename into place keeps.
struct WrittenFile
{
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
};

// Many replacements made durable together, for a batch of new files: add writes each
// temporary file beside its file without flushing it, addNew writes a new file under
// its own name; flush makes all of them durable at once (one flush of the file system
// they are on, after every write was issued); commit renames the temporary files into
// place and flushes each folder a rename changed, once. Files never committed,
// temporary or new, are removed with the object, so a batch given up leaves the folders as they
// were.
class NewFileStream;

class PreparedReplacements
{
public:
    PreparedReplacements();
    PreparedReplacements(PreparedReplacements &&other) noexcept;
    PreparedReplacements &operator=(PreparedReplacements &&other) noexcept;
    ~PreparedReplacements();

    void add(const QString &path, const QByteArray &bytes);
    // add for a file of the folder that the caller knows is missing (in any case, as a
    // listing shows): the folder is looked up once per batch, and the file is created
    // under its own name (it fails when the name is taken after all).
    void addNew(const QString &folder, const QString &name, const QByteArray &bytes);
    // add for a file named by a native path, outside the drive (the vCard folder that
    // sync keeps), private to the user, which the caller read (or found missing) as
    // seen: commit puts it in place only while the file still is as seen
    // (replaceIfSeen in posixio.h), and otherwise leaves another program's version be.
    // Returns what a listing will tell of the file once committed.
    WrittenFile addNative(const QString &nativePath, const QByteArray &bytes, const SeenFile &seen);
    // addNew for a native folder: the file is made under its own name, never over an
    // existing one, relative to the folder and with no rename (createNewFile in
    // newfiles.h). A discard removes it, but a process that dies before commit leaves
    // it, so the caller must be able to tell such a file later. Returns what a listing
    // will tell of the file, or nothing when another program's file took the name (or,
    // where the file is named before it is written, wrote into it): that one is left be.
    std::optional<WrittenFile> addNewNative(const QString &nativeFolder, const QString &name,
                                            const QByteArray &bytes);
    // addNewNative for many files of one native folder, the results in the order of
    // names. A large batch is created by more than one thread (see newfiles.h).
    std::vector<std::optional<WrittenFile>> addNewNatives(const QString &nativeFolder,
                                                          const QStringList &names,
                                                          const std::vector<QByteArray> &bytes);
    // addNewNatives in parts, for a caller with more work to do meanwhile: once the files
    // begun make a large batch, they are created on a thread of their own while the caller
    // goes on; a small batch is created at once. One native folder for all of them.
    // finishNewNatives waits for every file begun and gives the results in the order
    // begun; an error met by any of them is thrown there.
    void beginNewNatives(const QString &nativeFolder, const QStringList &names,
                         std::vector<QByteArray> bytes);
    std::vector<std::optional<WrittenFile>> finishNewNatives();
    void flush();
    // Flushes first when flush() has not run since the last add. Returns the native
    // paths that addNative named and that were left alone, changed since they were seen.
    QStringList commit();

private:
    struct Entry
    {
        QByteArray native;
        QByteArray temporary;
        QString path;
        bool created = false;         // written under its own name (addNew)
        std::optional<SeenFile> seen; // addNative's: replaced only while still so
        std::uint64_t inode = 0;      // of the temporary file
    };
    void discard() noexcept;
    // The files a NewFileStream was creating: those it did are removed with the others.
    void stopNewFiles() noexcept;
    // The folder addNewNative creates files in, opened once per batch.
    void openCreateFolder(const QString &nativeFolder, const QString &path);
    void addCreated(const QString &path);
    std::vector<Entry> m_entries;
    QString m_folder;
    QByteArray m_nativeFolder;
    // The native folder addNewNative creates files in, open while the batch lasts.
    QString m_createFolder;
    int m_createFolderFd = -1;
    bool m_flushed = true;
    // Files begun (beginNewNatives): those created at once, with their results, and those
    // handed to the stream, by path.
    std::vector<std::optional<WrittenFile>> m_begun;
    std::unique_ptr<NewFileStream> m_newFiles;
    QStringList m_streamed;
};

// Cuts an existing file to size bytes, then flushes it to disk.
void truncateFile(const QString &path, std::int64_t size);

// Reads a whole regular file named by a native path, outside the drive (a file the
// user asked to import).
QByteArray readNativeFile(const QString &nativePath);

// Replaces a file named by a native path, outside the drive (an export the user asked
// for), the same atomic way as replaceBytes. The file is private to the user (0600).
void replaceNativeFile(const QString &nativePath, const QByteArray &bytes);

// A folder outside the drive that the user names (an old data folder to bring in),
// read by its native path and never written. Links are followed.
struct NativeListing
{
    QStringList files;   // regular files, sorted by name
    QStringList folders; // subfolders, sorted by name
};
NativeListing listNativeFolder(const QString &nativePath);
// Whether a native path leads to the folder a program path names (the same folder on
// disk, whatever the way there). False when either does not exist.
bool isSameFolder(const QString &nativePath, const QString &programPath);

// The writers below, and setAttributes, never follow a symbolic link: a link in the
// data folder is refused (ELOOP) rather than written through.

// Appends bytes at the end of the file (creating it), then flushes to disk.
void appendBytes(const QString &path, const QByteArray &bytes);

// Random access: record n (from 1) lies at byte (n - 1) * length. Reading a record
// past the end of the file yields the bytes that exist, padded with spaces to
// length. Writing past the end extends the file; the write is flushed to disk.
QByteArray readRecord(const QString &path, std::int64_t recordNumber, int length);
void writeRecord(const QString &path, std::int64_t recordNumber, const QByteArray &record);

} // namespace cardomine::platform::files
