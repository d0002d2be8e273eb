// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace cardomine::testing {

// A fresh drive root for one test: CARDOMINE_DRIVE_C points into a temporary
// folder for the guard's lifetime, so the program's "c:\..." paths land there.
// The first drive made in each test function (each data row) resets the program's
// state (startup/programstate.h) first, so nothing one test left behind reaches the
// next (the message service a fixture installed stays); a second drive in the same
// function leaves the state alone.
class TempDrive
{
public:
    TempDrive();
    ~TempDrive();
    TempDrive(const TempDrive &) = delete;
    TempDrive &operator=(const TempDrive &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString errorString() const { return m_dir.errorString(); }
    QString root() const { return m_dir.path(); }
    // Native path of a program path ("c:\Program Files\Pelvarin\Index.tbl").
    QString native(const QString &programPath) const;

    // Raw file access that bypasses the program's file services.
    QByteArray readFile(const QString &programPath) const;
    void writeFile(const QString &programPath, const QByteArray &bytes) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

} // namespace cardomine::testing
