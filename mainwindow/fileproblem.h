// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <exception>

class QWidget;

namespace cardomine {

// Tells the user that a file operation failed: which file, the system's reason, and
// what became of their work. Accepts the exceptions the store throws
// (platform::FileError, DataError); anything else is passed on.
void showFileProblem(QWidget *parent, const std::exception_ptr &error, const QString &outcome);

} // namespace cardomine
