// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace cardomine::platform::files {

// A small file rewritten in place from its start, again and again, without flushing
// to disk: what is written outlives the program being killed at any later point, not
// a power cut. The file is kept open between writes and never emptied and grown
// again, so a rewrite costs two system calls. A write that fails part-way can leave
// the start of the new bytes over the old ones; callers choose texts that tell such a
// mixture from a whole one.
class RewrittenFile
{
public:
    RewrittenFile() = default;
    ~RewrittenFile();
    RewrittenFile(const RewrittenFile &) = delete;
    RewrittenFile &operator=(const RewrittenFile &) = delete;

    // Writes the bytes over the start of the file at the program path and cuts it to
    // their length. The file is opened (created, private to the user) at the first
    // write, and again when the path now maps elsewhere or the open file was removed
    // meanwhile. Links, FIFOs, folders and read-only files are refused (FileError).
    void write(const QString &path, const QByteArray &bytes);
    // Lets the file go, leaving it on disk; the next write opens it again.
    void close() noexcept;

private:
    int m_fd = -1;
    QByteArray m_native;
};

} // namespace cardomine::platform::files
