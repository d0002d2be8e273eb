// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>
#include <utility>

namespace cardomine {

// A file whose content the program cannot use (a count that is not a number, a
// sequential file too short, ...). File-system failures are platform::FileError.
class DataError : public std::runtime_error
{
public:
    DataError(QString path, QString problem);
    const QString &path() const { return m_path; }
    const QString &problem() const { return m_problem; }
    QString message() const; // "<path>: <problem>"

private:
    QString m_path;
    QString m_problem;
};

// A save that stored the record but not its notes (putting the prepared notes file
// in place failed): the caller must say exactly that, not that nothing was saved.
class NotesNotSaved : public DataError
{
public:
    // notesInPlace: the new notes file got in place, but flushing its folder failed,
    // so the notes may not survive a power cut.
    NotesNotSaved(QString path, QString problem, bool notesInPlace)
        : DataError(std::move(path), std::move(problem))
        , m_notesInPlace(notesInPlace)
    {}
    bool notesInPlace() const { return m_notesInPlace; }

private:
    bool m_notesInPlace = false;
};

} // namespace cardomine
