// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/dataerror.h"

namespace cardomine {

namespace {
std::string describe(const QString &path, const QString &problem)
{
    return QString(path + u": " + problem).toStdString();
}
} // namespace

DataError::DataError(QString path, QString problem)
    : std::runtime_error(describe(path, problem))
    , m_path(std::move(path))
    , m_problem(std::move(problem))
{}

QString DataError::message() const
{
    return m_path + u": " + m_problem;
}

} // namespace cardomine
