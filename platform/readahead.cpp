// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/readahead.h"

#include "platform/faults.h"
#include "platform/files.h"

#include <algorithm>
#include <system_error>

namespace cardomine::platform::files {

namespace {

// Files read between two reports to the caller: few enough that it never waits long.
constexpr qsizetype Batch = 128;

} // namespace

FileReadAhead::FileReadAhead(const QString &folder, const QStringList &names, std::int64_t maxBytes)
    : m_folder(folder)
    , m_names(names)
    , m_maxBytes(maxBytes)
    , m_read(size_t(names.size()))
{
    if (faults::watched())
        return;
    try {
        m_reader.emplace([this] { readAll(); });
    } catch (const std::system_error &) {
        // No thread to spare: the caller reads each file as it takes it.
    }
}

FileReadAhead::~FileReadAhead()
{
    if (!m_reader)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_reader->join();
}

void FileReadAhead::readAll()
{
    for (qsizetype from = 0; from < m_names.size(); from += Batch) {
        std::vector<std::optional<QByteArray>> read;
        std::exception_ptr failed;
        try {
            read = readNativeFilesIn(m_folder, m_names.mid(from, Batch), m_maxBytes);
        } catch (...) {
            failed = std::current_exception();
        }
        const std::lock_guard lock(m_mutex);
        if (failed) {
            m_failed = failed;
            m_progress.notify_all();
            return;
        }
        std::move(read.begin(), read.end(), m_read.begin() + from);
        m_done = std::min(from + Batch, m_names.size());
        m_progress.notify_all();
        if (m_stop)
            return;
    }
}

std::optional<QByteArray> FileReadAhead::take(qsizetype index)
{
    if (!m_reader)
        return readNativeFilesIn(m_folder, {m_names.at(index)}, m_maxBytes).front();
    std::unique_lock lock(m_mutex);
    m_progress.wait(lock, [&] { return m_done > index || m_failed; });
    if (m_done <= index)
        std::rethrow_exception(m_failed);
    return std::move(m_read[size_t(index)]);
}

} // namespace cardomine::platform::files
