// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>

namespace cardomine::platform {

// A failed file operation: which operation, on which file (the program's own
// Windows-style path), and the system's reason. The workflows show it to the user;
// the store only throws it.
class FileError : public std::runtime_error
{
public:
    FileError(QString operation, QString path, int errorCode, QString reason);

    const QString &operation() const { return m_operation; }
    const QString &path() const { return m_path; }
    int errorCode() const { return m_errorCode; }
    const QString &reason() const { return m_reason; }

    // "Cannot <operation> <path>: <reason>."
    QString message() const;

private:
    QString m_operation;
    QString m_path;
    int m_errorCode = 0;
    QString m_reason;
};

} // namespace cardomine::platform
