#include "tests/support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace cardomine::testing {

namespace {
const char DriveVariable[] = "CARDOMINE_DRIVE_C";
}

TempDrive::TempDrive()
    : m_previous(qgetenv(DriveVariable))
    , m_hadPrevious(qEnvironmentVariableIsSet(DriveVariable))
{
    if (m_dir.isValid())
        qputenv(DriveVariable, QFile::encodeName(m_dir.path()));
}

TempDrive::~TempDrive()
{
    if (m_hadPrevious)
        qputenv(DriveVariable, m_previous);
    else
        qunsetenv(DriveVariable);
}

QString TempDrive::native(const QString &programPath) const
{
    QString rest = programPath;
    if (rest.size() >= 2 && rest.at(1) == QLatin1Char(':'))
        rest = rest.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    return m_dir.path() + QLatin1Char('/') + rest;
}

QByteArray TempDrive::readFile(const QString &programPath) const
{
    QFile file(native(programPath));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void TempDrive::writeFile(const QString &programPath, const QByteArray &bytes) const
{
    const QString path = native(programPath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace cardomine::testing
