// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/tempdrive.h"

#include "platform/messages.h"
#include "startup/programstate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace cardomine::testing {

namespace {
const char DriveVariable[] = "CARDOMINE_DRIVE_C";

// Resets the program's state at the first drive of each test function and data row.
void resetForNewTest()
{
    static QByteArray lastTest;
    QByteArray test = QTest::currentTestFunction();
    test += '/';
    test += QTest::currentDataTag();
    if (test == lastTest)
        return;
    lastTest = test;
    // Fixtures install their scripted boxes in init(), before the test makes its drive,
    // and take them away in cleanup(): the service they installed stays.
    platform::MessageService *installed = platform::installedMessageService();
    resetProgramState();
    platform::setMessageService(installed);
}
} // namespace

TempDrive::TempDrive()
    : m_previous(qgetenv(DriveVariable))
    , m_hadPrevious(qEnvironmentVariableIsSet(DriveVariable))
{
    resetForNewTest();
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
