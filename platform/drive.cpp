// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cardomine::platform {

namespace {

// The drive folder as the environment names it, not yet cleaned up.
QString namedDriveRoot()
{
    QString root = qEnvironmentVariable("CARDOMINE_DRIVE_C");
    if (root.isEmpty()) {
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        // The XDG rules say a relative value is invalid and must be ignored.
        if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
            dataHome = QDir::homePath() + QStringLiteral("/.local/share");
        root = dataHome + QStringLiteral("/cardomine/drive_c");
    }
    return root;
}

// The names below the drive root. "." and ".." are resolved here, the way Windows does
// for a drive path: ".." at the root stays at the root, so no program path can reach
// outside the drive.
QStringList componentsOf(const QString &programPath)
{
    QString rest = programPath;
    if (rest.size() >= 2 && rest.at(1) == QLatin1Char(':') && rest.at(0).isLetter() &&
        rest.at(0).unicode() < 0x80)
        rest = rest.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));

    QStringList parts;
    const QStringList components = rest.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &component : components) {
        if (component == QLatin1String("."))
            continue;
        if (component == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(component);
    }
    return parts;
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

// ----- Names without regard to case -----

// The name as compared: ASCII letters lowered, other text case-folded.
QByteArray foldName(const QByteArray &name)
{
    QByteArray folded = name;
    for (char &c : folded) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return QFile::encodeName(QFile::decodeName(name).toCaseFolded());
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return folded;
}

quint64 hashOf(const QByteArray &bytes)
{
    return quint64(qHash(bytes, 0));
}

// One folder's names, kept as hashes so that a folder of many notes files stays
// small: the folded name's hash leads to the hash of the name as spelt on disk.
struct Entry
{
    quint64 spelt = 0;
    bool link = false;
    bool several = false; // more than one name folds alike ("a" and "A")
};
using Listing = QHash<quint64, Entry>;

struct Found
{
    QByteArray name;
    bool link = false;
};

struct Names
{
    QString root;
    QHash<QByteArray, Listing> listings;  // by native folder
    QHash<QString, ResolvedPath> folders; // by folded program folder path
    QHash<QString, ResolvedPath> paths;   // by program path
};

Names &names()
{
    thread_local Names kept;
    return kept;
}

// The drive root worked out for the name the environment gave last.
struct LastRoot
{
    QString named;
    QString root;
};

LastRoot &lastRoot()
{
    thread_local LastRoot kept;
    return kept;
}

bool isLink(int folderFd, const dirent *entry)
{
    if (entry->d_type == DT_LNK)
        return true;
    if (entry->d_type != DT_UNKNOWN)
        return false;
    struct stat info
    {};
    return ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(info.st_mode);
}

// Runs `visit` over a folder's entries; false when it cannot be read. The resolver's
// own look-ups are not file operations of the program: one that fails leaves the
// program's spelling, and the operation itself then meets the failure.
template <typename Visit> bool forEachEntry(const QByteArray &folder, Visit &&visit)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR *directory = ::fdopendir(fd);
    if (directory == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent *entry = ::readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        visit(::dirfd(directory), entry);
    }
    ::closedir(directory);
    return true;
}

const Listing *listingOf(const QByteArray &folder)
{
    Names &kept = names();
    if (const auto found = kept.listings.constFind(folder); found != kept.listings.cend())
        return &*found;
    Listing listing;
    const bool read = forEachEntry(folder, [&](int fd, const dirent *entry) {
        const QByteArray name(entry->d_name);
        Entry &slot = listing[hashOf(foldName(name))];
        if (slot.spelt != 0)
            slot.several = true;
        slot.spelt = hashOf(name);
        slot.link = isLink(fd, entry);
    });
    if (!read)
        return nullptr; // a folder that does not exist (yet) is asked again next time
    if (kept.listings.size() >= 16)
        kept.listings.clear();
    return &*kept.listings.insert(folder, std::move(listing));
}

// The entry of `folder` that is `name` without regard to case: the exact spelling
// when it exists, else the first other one.
Found searchFolder(const QByteArray &folder, const QByteArray &name)
{
    const QByteArray folded = foldName(name);
    Found result{name, false};
    bool exact = false;
    bool other = false;
    forEachEntry(folder, [&](int fd, const dirent *entry) {
        if (exact)
            return;
        const QByteArray candidate(entry->d_name);
        if (candidate == name) {
            exact = true;
            result = {candidate, isLink(fd, entry)};
        } else if (!other && foldName(candidate) == folded) {
            other = true;
            result = {candidate, isLink(fd, entry)};
        }
    });
    return result;
}

Found lookUp(const QByteArray &folder, const QByteArray &name)
{
    const Listing *listing = listingOf(folder);
    if (listing == nullptr)
        return {name, false};
    const auto entry = listing->constFind(hashOf(foldName(name)));
    if (entry == listing->cend())
        return {name, false};
    if (entry->spelt == hashOf(name) && !entry->several)
        return {name, entry->link};
    return searchFolder(folder, name);
}

// The file `name` of `folder` without regard to case. A file that exists as spelt is
// that file, found without listing its folder: a folder of many notes files is listed
// only once a name is missing from it.
QByteArray fileIn(const QByteArray &folder, const QByteArray &name)
{
    struct stat info
    {};
    if (::lstat(joined(folder, name).constData(), &info) == 0)
        return name;
    return lookUp(folder, name).name;
}

} // namespace

QString driveRoot()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/");
#else
    // The environment is read on every call, since tests point each case at a drive of
    // its own. Cleaning the path up is kept for the name last seen, as every file
    // operation asks for it; a relative name depends on the working folder and is
    // worked out afresh.
    LastRoot &last = lastRoot();
    const QString named = namedDriveRoot();
    if (!last.root.isEmpty() && named == last.named)
        return last.root;
    const QString root = QDir::cleanPath(QFileInfo(named).absoluteFilePath());
    if (!QDir::isRelativePath(named))
        last = LastRoot{named, root};
    return root;
#endif
}

QString nativePath(const QString &programPath)
{
    const QStringList parts = componentsOf(programPath);
    QString root = driveRoot();
    if (parts.isEmpty())
        return root;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root + parts.join(QLatin1Char('/'));
}

ResolvedPath resolvePath(const QString &programPath)
{
    Names &kept = names();
    const QString root = driveRoot();
    if (root != kept.root) {
        kept = Names();
        kept.root = root;
    }
    if (const auto found = kept.paths.constFind(programPath); found != kept.paths.cend())
        return *found;

    const QStringList parts = componentsOf(programPath);
    ResolvedPath resolved{QFile::encodeName(root), QString()};
    QString folderKey;
    QString programFolder = QStringLiteral("c:");
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray name = QFile::encodeName(parts.at(i));
        programFolder += QLatin1Char('\\') + parts.at(i);
        if (i + 1 == parts.size()) {
            resolved.native = joined(resolved.native, fileIn(resolved.native, name));
            break;
        }
        folderKey += QString::fromUtf8(foldName(name)) + QLatin1Char('/');
        if (const auto folder = kept.folders.constFind(folderKey); folder != kept.folders.cend()) {
            resolved = *folder;
            continue;
        }
        const Found found = lookUp(resolved.native, name);
        resolved.native = joined(resolved.native, found.name);
        if (found.link && resolved.linkedFolder.isEmpty())
            resolved.linkedFolder = programFolder;
        kept.folders.insert(folderKey, resolved);
    }

    if (kept.paths.size() >= 256)
        kept.paths.clear();
    kept.paths.insert(programPath, resolved);
    return resolved;
}

void forgetNames()
{
    names() = Names();
    lastRoot() = LastRoot();
}

void forgetName(const QByteArray &native)
{
    Names &kept = names();
    kept.paths.clear();
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : native.left(slash);
    const QByteArray name = native.mid(slash + 1);
    const auto listing = kept.listings.find(folder);
    if (listing == kept.listings.end())
        return;
    const auto entry = listing->find(hashOf(foldName(name)));
    if (entry == listing->end())
        return;
    if (entry->several)
        kept.listings.erase(listing); // listed again when next asked
    else if (entry->spelt == hashOf(name))
        listing->erase(entry);
}

} // namespace cardomine::platform
