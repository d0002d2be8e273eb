#pragma once

#include <QString>

#include <stdexcept>

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
    using DataError::DataError;
};

} // namespace cardomine
