// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/fileproblem.h"

#include "datastore/dataerror.h"
#include "platform/fileerror.h"
#include "platform/messages.h"

namespace cardomine {

void showFileProblem(QWidget *parent, const std::exception_ptr &error, const QString &outcome)
{
    QString reason;
    try {
        std::rethrow_exception(error);
    } catch (const platform::FileError &e) {
        reason = e.message();
    } catch (const DataError &e) {
        reason = e.message();
    }
    platform::notice(QStringLiteral("File Problem!"), reason + QLatin1Char('\r') + outcome,
                     platform::MessageIcon::Critical, parent);
}

} // namespace cardomine
