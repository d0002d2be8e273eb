// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A drive root of the fuzzer's own, made once per process, and a quick way to put
// the input into one of the program's files (no flushing: the fuzzer wants speed).
namespace cardomine::fuzzing {

inline const QTemporaryDir &fuzzDrive()
{
    static const QTemporaryDir dir = [] {
        QTemporaryDir d;
        qputenv("CARDOMINE_DRIVE_C", QFile::encodeName(d.path()));
        QDir().mkpath(d.path() + QStringLiteral("/Program Files/Pelvarin/Contact Notes"));
        return d;
    }();
    return dir;
}

inline void putFile(const QString &relative, const QByteArray &bytes)
{
    QFile file(fuzzDrive().path() + QStringLiteral("/Program Files/Pelvarin/") + relative);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace cardomine::fuzzing
