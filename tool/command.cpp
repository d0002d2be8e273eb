// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/command.h"

#include "datastore/dataerror.h"
#include "platform/fileerror.h"

#include <new>

namespace cardomine::tool {

CommandResult CommandResult::failure(const QString &message)
{
    return {Failure, {}, {message}};
}

CommandResult CommandResult::usage(const QString &message)
{
    return {UsageError, {}, {message, QStringLiteral("try \"cardomine-tool --help\"")}};
}

CommandResult runCommand(const std::function<CommandResult()> &command)
{
    try {
        return command();
    } catch (const platform::FileError &error) {
        return CommandResult::failure(error.message());
    } catch (const DataError &error) {
        return CommandResult::failure(error.message());
    } catch (const std::bad_alloc &) {
        return CommandResult::failure(
            QStringLiteral("there was not enough memory to finish the command"));
    } catch (const std::exception &error) {
        return CommandResult::failure(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace cardomine::tool
