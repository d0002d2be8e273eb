// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace cardomine::testing {

// Everything about every entry under a folder that a reading command might disturb:
// mode, inode, size, modification time, extended attributes and content, one line per
// entry, sorted.
inline QStringList folderSnapshot(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray native = QFile::encodeName(path);
        struct stat info
        {};
        if (::lstat(native.constData(), &info) != 0) {
            out.append(path + QStringLiteral(" unreadable"));
            continue;
        }
        QString line = QStringLiteral("%1 mode %2 inode %3 size %4 mtime %5.%6")
                           .arg(path.mid(root.size()))
                           .arg(info.st_mode, 0, 8)
                           .arg(info.st_ino)
                           .arg(info.st_size)
                           .arg(info.st_mtim.tv_sec)
                           .arg(info.st_mtim.tv_nsec);
        char names[4096];
        const ssize_t length = ::llistxattr(native.constData(), names, sizeof names);
        for (ssize_t i = 0; i < length; i += ssize_t(std::strlen(names + i)) + 1) {
            char value[1024];
            const ssize_t size = ::lgetxattr(native.constData(), names + i, value, sizeof value);
            line += QStringLiteral(" %1=%2").arg(
                QString::fromLatin1(names + i),
                QString::fromLatin1(QByteArray(value, int(std::max<ssize_t>(size, 0))).toHex()));
        }
        if (S_ISREG(info.st_mode)) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                line += QStringLiteral(" content ") + QString::fromLatin1(file.readAll().toHex());
        }
        out.append(line);
    }
    out.sort();
    return out;
}

} // namespace cardomine::testing
