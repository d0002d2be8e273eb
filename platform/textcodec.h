// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The program's files are in Windows-1252 with CR LF line ends.
namespace cardomine::platform::text {

// Characters Windows-1252 cannot hold become "?".
QByteArray encode(const QString &text);
QString decode(QByteArrayView bytes);

// Each line followed by CR LF.
QByteArray joinLines(const QStringList &lines);
// Splits at CR LF. A last line without its line end still counts; text after the last
// CR LF that is empty adds no line.
QStringList splitLines(const QByteArray &bytes);

} // namespace cardomine::platform::text
