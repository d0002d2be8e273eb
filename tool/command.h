// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// What every cardomine-tool command hands back: its exit status, what it writes to
// standard output, and its messages (errors and warnings) for standard error. main
// only picks the command and prints its result.
namespace cardomine::tool {

enum ExitStatus
{
    Success = 0,
    Failure = 1,
    UsageError = 2,
    // sync found the card file in use (Cardomine is open): nothing was changed, the next
    // run syncs. EX_TEMPFAIL, which a systemd unit counts as success (SuccessExitStatus=75).
    Busy = 75
};

struct CommandResult
{
    int exitStatus = Success;
    QByteArray out;       // standard output
    QStringList messages; // standard error, one line each

    static CommandResult failure(const QString &message);
    static CommandResult usage(const QString &message);
};

// Runs a command. Whatever it throws (a file that cannot be read or written, a card
// file that cannot be used, memory running out) becomes a failure with its message,
// after the command's own objects have cleaned up behind it.
CommandResult runCommand(const std::function<CommandResult()> &command);

} // namespace cardomine::tool
