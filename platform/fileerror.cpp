// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fileerror.h"

#include <utility>

namespace cardomine::platform {

namespace {
std::string describe(const QString &operation, const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot %1 %2: %3").arg(operation, path, reason).toStdString();
}
} // namespace

FileError::FileError(QString operation, QString path, int errorCode, QString reason)
    : std::runtime_error(describe(operation, path, reason))
    , m_operation(std::move(operation))
    , m_path(std::move(path))
    , m_errorCode(errorCode)
    , m_reason(std::move(reason))
{}

QString FileError::message() const
{
    // The system's reasons come without a full stop; a reason that already ends a
    // sentence does not get a second one.
    QString text = QStringLiteral("Cannot %1 %2: %3").arg(m_operation, m_path, m_reason);
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return text;
}

} // namespace cardomine::platform
