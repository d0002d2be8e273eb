// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Many new files created in one folder at once, for PreparedReplacements. Not for use
// outside platform/.

#include "platform/files.h"

#include <QByteArray>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace cardomine::platform::files {

// What became of one file: whether it was created (and so is there to remove if the
// batch is given up), and the error that stopped it (0 when written whole: then
// `written` holds what stat told of it). EEXIST: another program's file has the name,
// or another program wrote the file before the stat that follows the write;
// ECANCELED: not tried, another file failed first.
struct NewFileResult
{
    bool created = false;
    int error = ECANCELED;
    WrittenFile written;
};

// Whether the file open as fd (for reading too), just written and then found by fstat
// as `written`, still holds exactly bytes: another program may have written it between
// the write and the stat, which the stat alone cannot tell when the length is the same
// and the clock has not ticked. A stat that follows counts as a look at the file, so a
// later write gets a time of its own, which the next listing sees.
bool stillHolds(int fd, const QByteArray &bytes, const struct stat &written);

// Creates the file under its name in the folder open as folderFd, never over an
// existing file, private to the user (0600), with its bytes in it: written as a file
// with no name yet, then linked in, so no other program sees it (or writes into it)
// part-written, and a kill leaves it whole or not there. Where the file system has no
// such files it is created under its name and then written.
NewFileResult createNewFile(int folderFd, const QByteArray &name, const QByteArray &bytes);

// createNewFile for files handed over in parts while the caller goes on with its work:
// a thread of its own creates them as they come, and finish() has the caller's thread
// share what is left. Creating files is mostly the file system's own work, which the two
// threads overlap; and every few thousand files the file system is asked to start
// writing back what is done, so that the flush after the batch finds less left. After an
// error other than EEXIST, the files not begun are not tried.
class NewFileStream
{
public:
    explicit NewFileStream(int folderFd);
    // Stops as stop() does.
    ~NewFileStream();
    NewFileStream(const NewFileStream &) = delete;
    NewFileStream &operator=(const NewFileStream &) = delete;

    void add(const std::vector<QByteArray> &names, std::vector<QByteArray> bytes);
    // Waits until every file added is done; the results in the order the files were added.
    std::vector<NewFileResult> finish();
    // The files not begun are not tried; waits for those begun. The results so far.
    std::vector<NewFileResult> stop();

private:
    struct Item
    {
        QByteArray name;
        QByteArray bytes;
        NewFileResult result;
    };
    void work(bool caller);
    void writeBack();
    std::vector<NewFileResult> results();

    int m_folderFd;
    std::mutex m_mutex;
    std::condition_variable m_more;     // items added, or the stream closing
    std::condition_variable m_progress; // more files done, or the write-back to end
    std::deque<Item> m_items;           // references stay valid as items are added
    std::size_t m_next = 0;             // the first item not begun
    std::size_t m_done = 0;
    bool m_closing = false; // no more items come: the worker ends once none is left
    bool m_stopped = false; // no more items are begun
    bool m_ended = false;   // the worker has ended: the write-back ends too
    std::optional<std::thread> m_worker;
    std::optional<std::thread> m_writer;
};

// createNewFile for each of the files, as a NewFileStream given them at once.
std::vector<NewFileResult> createNewFiles(int folderFd, const std::vector<QByteArray> &names,
                                          const std::vector<QByteArray> &bytes);

} // namespace cardomine::platform::files
