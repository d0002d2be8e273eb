// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The text of a file another program wrote, before either reader looks at it, and
// the input as messages quote it.
namespace cardomine::interchange {

// UTF-16 (little or big endian, with a byte order mark or found by the NUL bytes of
// its ASCII characters) as UTF-8, without the mark; any other bytes as they are.
QByteArray utf16AsUtf8(const QByteArray &bytes);

// At most 80 characters of the input for a message, control characters written as
// escapes ("\r", "\x1b"), so that a file cannot fill or steer the terminal.
QString quotedInput(QStringView text);
QString quotedInput(QByteArrayView bytes);

// The text case-folded as QString::toCaseFolded folds it, plain ASCII (what most values
// are) by lowering A to Z alone, without a table look-up for each character.
QString caseFolded(QString text);

} // namespace cardomine::interchange
