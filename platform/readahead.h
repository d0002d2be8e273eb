// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace cardomine::platform::files {

// Files of one native folder (nativeFolderPath) read in the order given on a thread of its own,
// ahead of a caller that works on each in turn: the system calls of the next files overlap the
// caller's work on this one. Each comes as readBytesIfFilesIn gives it. A test that counts file
// operations (faults::watched) gets them read by the caller, in order.
class FileReadAhead
{
public:
    FileReadAhead(const QString &folder, const QStringList &names, std::int64_t maxBytes);
    ~FileReadAhead();
    FileReadAhead(const FileReadAhead &) = delete;
    FileReadAhead &operator=(const FileReadAhead &) = delete;

    qsizetype size() const { return m_names.size(); }
    // The file at `index`, once read; a read that failed throws its error here.
    std::optional<QByteArray> take(qsizetype index);

private:
    void readAll();

    QString m_folder;
    QStringList m_names;
    std::int64_t m_maxBytes;
    std::vector<std::optional<QByteArray>> m_read;
    qsizetype m_done = 0; // files read so far, from the first
    std::exception_ptr m_failed;
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_progress;
    std::optional<std::thread> m_reader;
};

} // namespace cardomine::platform::files
