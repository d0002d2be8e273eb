// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rewrittenfile.h"

#include "platform/posixio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cardomine::platform::files {

using namespace posixio;

namespace {
const QString WriteOperation = QStringLiteral("write");
} // namespace

RewrittenFile::~RewrittenFile()
{
    close();
}

void RewrittenFile::close() noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_native.clear();
}

void RewrittenFile::write(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = writableNativeBytes(path, WriteOperation);
    struct stat info
    {};
    if (m_fd >= 0 && native == m_native) {
        if (sysCall("fstat", [&] { return ::fstat(m_fd, &info); }) != 0)
            fail(WriteOperation, path, errno);
    }
    // Someone removed the open file: writing on would reach no name on disk.
    if (m_fd < 0 || native != m_native || info.st_nlink == 0) {
        close();
        // Not blocking: opening a FIFO left under this name fails instead of waiting.
        const int fd = sysCall("open", [&] {
            return ::open(native.constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        });
        if (fd < 0)
            fail(WriteOperation, path, errno);
        Descriptor file(fd);
        if (sysCall("fstat", [&] { return ::fstat(fd, &info); }) != 0)
            fail(WriteOperation, path, errno);
        if (!S_ISREG(info.st_mode))
            fail(WriteOperation, path, EINVAL);
        // As everywhere in the file services: read-only is not written, even by root.
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            fail(WriteOperation, path, EACCES);
        m_fd = file.release();
        m_native = native;
    }

    if (writeFrom(m_fd, bytes, 0) < 0)
        fail(WriteOperation, path, errno);
    if (info.st_size > bytes.size() &&
        sysCall("ftruncate", [&] { return ::ftruncate(m_fd, off_t(bytes.size())); }) != 0)
        fail(WriteOperation, path, errno);
}

} // namespace cardomine::platform::files
