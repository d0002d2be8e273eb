#pragma once

#include <QString>

namespace cardomine::startup {

// The files the start-up repair would delete are moved aside instead, into the data
// folder's "Recovered" folder as "<name>.<yyyymmdd-hhmmss>" (with "-2", "-3", ...
// when that name is taken), so nothing a user had is ever destroyed.
// Returns the program path the file was moved to.
QString moveAside(const QString &path);

} // namespace cardomine::startup
