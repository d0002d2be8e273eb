// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Changing a file of a native folder only while it is as the caller read it: another
// program (vdirsyncer, khard, a phone's sync) may write the same folder at any time, and
// its edit must never be replaced or deleted by one made from an older read.
namespace cardomine::platform::files {

// A file as a caller read it: missing then, or holding exactly the bytes read. Compared
// by the bytes, not by size, time and inode: a rewrite in place within one tick of the
// file system's clock keeps all three.
class SeenFile
{
public:
    static SeenFile missing();
    static SeenFile holding(QByteArrayView bytes);

    bool isMissing() const { return m_missing; }
    std::int64_t size() const { return m_size; }
    // Whether these are the bytes seen.
    bool sameBytes(QByteArrayView bytes) const;

private:
    bool m_missing = true;
    std::int64_t m_size = 0;
    QByteArray m_digest;
};

// Deletes a file named by a native path while it still is as seen: it is first moved
// aside to a name of this program's, compared there, and removed, or put back when it
// was changed since. Returns false when it was changed and so left where it was; true
// when it was deleted or was gone already.
bool deleteNativeFileIfSeen(const QString &nativePath, const SeenFile &seen);

} // namespace cardomine::platform::files
